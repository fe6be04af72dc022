#include "export/JsonStreamWriter.h"

#include <QLocale>
#include <cmath>

namespace hoplark {

namespace {

// Written to the device in pieces of about this size.
constexpr qsizetype SpillBytes = 64 * 1024;

}  // namespace

void JsonStreamWriter::newline(size_t depth) {
    buffer_ += '\n';
    buffer_.append(static_cast<qsizetype>(depth * 4), ' ');
}

void JsonStreamWriter::element() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (nonEmpty_.empty()) return;
    if (nonEmpty_.back()) buffer_ += ',';
    nonEmpty_.back() = true;
    newline(nonEmpty_.size());
}

void JsonStreamWriter::open(char bracket) {
    element();
    buffer_ += bracket;
    nonEmpty_.push_back(false);
}

void JsonStreamWriter::close(char bracket) {
    const bool hadElements = !nonEmpty_.empty() && nonEmpty_.back();
    if (!nonEmpty_.empty()) nonEmpty_.pop_back();
    if (hadElements) newline(nonEmpty_.size());
    buffer_ += bracket;
    if (nonEmpty_.empty()) buffer_ += '\n';
    spill();
}

void JsonStreamWriter::key(const QString& name) {
    element();
    writeString(name);
    buffer_ += ": ";
    afterKey_ = true;
}

void JsonStreamWriter::value(const QJsonValue& value) {
    element();
    switch (value.type()) {
        case QJsonValue::Bool:
            buffer_ += value.toBool() ? "true" : "false";
            break;
        case QJsonValue::Double: {
            const double number = value.toDouble();
            if (!std::isfinite(number)) {
                buffer_ += "null";
            } else if (number == std::floor(number) && std::fabs(number) < 9.0e15) {
                buffer_ += QByteArray::number(static_cast<qint64>(number));
            } else {
                buffer_ += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
            }
            break;
        }
        case QJsonValue::String:
            writeString(value.toString());
            break;
        default:
            // Objects and arrays are written with begin and end; anything else is null.
            buffer_ += "null";
            break;
    }
    spill();
}

void JsonStreamWriter::writeString(const QString& text) {
    buffer_ += '"';
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            buffer_ += '\\';
            buffer_ += c;
        } else if (byte < 0x20) {
            buffer_ += "\\u00";
            buffer_ += "0123456789abcdef"[byte >> 4];
            buffer_ += "0123456789abcdef"[byte & 0xF];
        } else {
            buffer_ += c;
        }
    }
    buffer_ += '"';
}

void JsonStreamWriter::spill() {
    if (buffer_.size() >= SpillBytes) flush();
}

bool JsonStreamWriter::flush() {
    if (!buffer_.isEmpty() && !failed_) {
        failed_ = out_.write(buffer_) != buffer_.size();
    }
    buffer_.clear();
    return !failed_;
}

}  // namespace hoplark
