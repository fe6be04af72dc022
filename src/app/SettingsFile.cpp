#include "app/SettingsFile.h"

// The Debian library is built with the ICU converter; the header must agree.
#define SI_CONVERT_ICU
#include <SimpleIni.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <string>

#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"

namespace hoplark {

namespace {

// Strings longer than this are cut on reading, as the profile functions do.
constexpr qsizetype MaxStringLength = 1023;

std::string utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

// CSimpleIniA compares section and key names without regard to case.
struct SettingsFile::Ini {
    CSimpleIniA data{/*isUtf8=*/true, /*multiKey=*/false, /*multiLine=*/false};
};

SettingsFile::SettingsFile(const QString& path) : path_(path), ini_(std::make_unique<Ini>()) {
    // "key=value", as profile files are usually written.
    ini_->data.SetSpaces(false);
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        ini_->data.LoadData(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
}

SettingsFile::~SettingsFile() = default;

QString SettingsFile::ReadString(const QString& section, const QString& key,
                                 const QString& fallback) const {
    const char* value = ini_->data.GetValue(utf8(section).c_str(), utf8(key).c_str(), nullptr);
    if (value == nullptr) return fallback.left(MaxStringLength);
    return QString::fromUtf8(value).left(MaxStringLength);
}

qint32 SettingsFile::ReadInteger(const QString& section, const QString& key,
                                 qint32 fallback) const {
    const char* value = ini_->data.GetValue(utf8(section).c_str(), utf8(key).c_str(), nullptr);
    if (value == nullptr) return fallback;
    return integerTextOr(QString::fromUtf8(value), fallback, HexPrefixes::DollarOrZeroX);
}

bool SettingsFile::ReadBool(const QString& section, const QString& key, bool fallback) const {
    return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void SettingsFile::WriteString(const QString& section, const QString& key, const QString& value) {
    ini_->data.SetValue(utf8(section).c_str(), utf8(key).c_str(), utf8(value).c_str());
}

void SettingsFile::WriteInteger(const QString& section, const QString& key, qint32 value) {
    WriteString(section, key, QString::number(value));
}

void SettingsFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsFile::commit() {
    std::string text;
    const bool saved = ini_->data.Save(text, /*addSignature=*/false) >= 0;
    const QString fullPath = QFileInfo(path_).absoluteFilePath();
    const auto fail = [&] {
        throw HoplarkError(
            QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(fullPath)));
    };
    if (!saved) fail();
    // QSaveFile writes a temporary file beside the target and renames it over the old one
    // only when every byte was written.
    QDir().mkpath(QFileInfo(fullPath).absolutePath());
    QSaveFile file(fullPath);
    if (!file.open(QIODevice::WriteOnly)) fail();
    const QByteArray bytes = QByteArray::fromStdString(text);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        fail();
    }
    if (!file.commit()) fail();
}

}  // namespace hoplark
