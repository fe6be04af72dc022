#include <QFile>

#include "app/NobodyProgram.h"

namespace hoplark::test {

NobodyProgram::NobodyProgram() {
    if (!directory_.isValid()) return;
    QFile::setPermissions(directory_.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                 QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                                 QFileDevice::ExeGroup);
    path_ = directory_.filePath(QStringLiteral("hoplark"));
    if (!QFile::copy(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"), path_)) return;
    valid_ = QFile::setPermissions(
        path_, QFile::permissions(path_) | QFileDevice::ExeOther | QFileDevice::ReadOther);
}

QStringList NobodyProgram::inNamespace(const std::string& ns, const QStringList& arguments,
                                       bool asNobody) const {
    QStringList command = {QStringLiteral("netns"), QStringLiteral("exec"),
                           QString::fromStdString(ns)};
    if (asNobody) {
        command << QStringLiteral("setpriv") << QStringLiteral("--reuid=nobody")
                << QStringLiteral("--regid=nogroup") << QStringLiteral("--clear-groups")
                << QStringLiteral("--inh-caps=-all");
    }
    return command << path_ << arguments;
}

}  // namespace hoplark::test
