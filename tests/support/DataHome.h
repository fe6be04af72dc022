#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

namespace hoplark::testing {

// Each test records into a data folder of its own.
class DataHome {
public:
    DataHome() {
        saved_ = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir_.path().toUtf8());
    }
    ~DataHome() { qputenv("XDG_DATA_HOME", saved_); }
    QString recordings() const { return dir_.filePath(QStringLiteral("hoplark/recordings")); }

private:
    QTemporaryDir dir_;
    QByteArray saved_;
};

}  // namespace hoplark::testing
