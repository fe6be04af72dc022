#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QJsonValue>
#include <QString>
#include <vector>

namespace hoplark {

// Writes one JSON document to a device as it goes, indented, so that a document of millions of
// values never has to be held in memory whole. Values are the scalar kinds of QJsonValue; objects
// and arrays are opened and closed around them.
class JsonStreamWriter {
public:
    explicit JsonStreamWriter(QIODevice& out) : out_(out) {}
    ~JsonStreamWriter() { flush(); }
    JsonStreamWriter(const JsonStreamWriter&) = delete;
    JsonStreamWriter& operator=(const JsonStreamWriter&) = delete;

    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }
    // The next value, object or array is this member's.
    void key(const QString& name);
    void value(const QJsonValue& value);
    void member(const QString& name, const QJsonValue& v) {
        key(name);
        value(v);
    }

    // Hands what is buffered to the device; false once the device refused a write.
    bool flush();
    bool failed() const { return failed_; }

private:
    void open(char bracket);
    void close(char bracket);
    // Starts an element of the enclosing array or object: its comma and indentation.
    void element();
    void newline(size_t depth);
    void writeString(const QString& text);
    void spill();

    QIODevice& out_;
    QByteArray buffer_;
    // One entry per open object or array: whether it holds an element yet.
    std::vector<bool> nonEmpty_;
    bool afterKey_ = false;
    bool failed_ = false;
};

}  // namespace hoplark
