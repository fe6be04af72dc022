#pragma once

#include <QJsonValue>
#include <QString>

namespace hoplark {

// One value of an export, typed so that CSV and JSON write the same figure: empty in CSV where
// JSON has null, a number to the same places in both.
class ExportValue {
public:
    static ExportValue none() { return ExportValue(); }
    static ExportValue integer(qint64 value);
    // A number written to `decimals` places.
    static ExportValue number(double value, int decimals);
    static ExportValue text(const QString& value);
    static ExportValue boolean(bool value);

    bool isNull() const { return kind_ == Kind::Null; }
    QString csv() const;
    QJsonValue json() const;

private:
    enum class Kind { Null, Integer, Number, Text, Boolean };
    Kind kind_ = Kind::Null;
    qint64 integer_ = 0;
    double number_ = 0;
    int decimals_ = 0;
    QString text_;
};

}  // namespace hoplark
