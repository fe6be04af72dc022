#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace hoplark::test {

// The program, copied where an unprivileged user can run it whatever the build folder's
// permissions are.
class NobodyProgram {
public:
    NobodyProgram();
    bool isValid() const { return valid_; }
    const QString& path() const { return path_; }

    // The command line that runs the program in namespace `ns`, as nobody when asked: for `ip`.
    QStringList inNamespace(const std::string& ns, const QStringList& arguments,
                            bool asNobody) const;

private:
    QTemporaryDir directory_;
    QString path_;
    bool valid_ = false;
};

}  // namespace hoplark::test
