#include "support/TempSettings.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace hoplark::testing {

TempSettings::TempSettings() = default;

QString TempSettings::path() const {
    return QDir(dir_.path()).filePath(QStringLiteral("Hoplark.INI"));
}

bool TempSettings::exists() const {
    return QFile::exists(path());
}

void TempSettings::write(const QString& content) const {
    QFile file(path());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(content.toUtf8());
}

QString TempSettings::read() const {
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

namespace {

bool getCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capget, &header, data) == 0;
}

bool setCaps(__user_cap_data_struct (&data)[2]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(SYS_capset, &header, data) == 0;
}

}  // namespace

ScopedFilePermissionsEnforced::ScopedFilePermissionsEnforced() {
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data)) return;
    savedEffective_[0] = data[0].effective;
    savedEffective_[1] = data[1].effective;
    data[0].effective &=
        ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
    dropped_ = setCaps(data);
}

ScopedFilePermissionsEnforced::~ScopedFilePermissionsEnforced() {
    if (!dropped_) return;
    __user_cap_data_struct data[2] = {};
    if (!getCaps(data)) return;
    data[0].effective = savedEffective_[0];
    data[1].effective = savedEffective_[1];
    setCaps(data);
}

}  // namespace hoplark::testing
