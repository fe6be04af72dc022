#include "export/ExportValue.h"

#include <cmath>

namespace hoplark {

ExportValue ExportValue::integer(qint64 value) {
    ExportValue v;
    v.kind_ = Kind::Integer;
    v.integer_ = value;
    return v;
}

ExportValue ExportValue::number(double value, int decimals) {
    ExportValue v;
    v.kind_ = Kind::Number;
    const double scale = std::pow(10.0, decimals);
    v.number_ = std::round(value * scale) / scale;
    v.decimals_ = decimals;
    return v;
}

ExportValue ExportValue::text(const QString& value) {
    ExportValue v;
    v.kind_ = Kind::Text;
    v.text_ = value;
    return v;
}

ExportValue ExportValue::boolean(bool value) {
    ExportValue v;
    v.kind_ = Kind::Boolean;
    v.integer_ = value ? 1 : 0;
    return v;
}

QString ExportValue::csv() const {
    switch (kind_) {
        case Kind::Integer:
            return QString::number(integer_);
        case Kind::Number:
            return QString::number(number_, 'f', decimals_);
        case Kind::Text:
            return text_;
        case Kind::Boolean:
            return integer_ ? QStringLiteral("true") : QStringLiteral("false");
        case Kind::Null:
            break;
    }
    return QString();
}

QJsonValue ExportValue::json() const {
    switch (kind_) {
        case Kind::Integer:
            return QJsonValue(integer_);
        case Kind::Number:
            return QJsonValue(number_);
        case Kind::Text:
            return QJsonValue(text_);
        case Kind::Boolean:
            return QJsonValue(integer_ != 0);
        case Kind::Null:
            break;
    }
    return QJsonValue();
}

}  // namespace hoplark
