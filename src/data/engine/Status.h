#pragma once

#include <QString>

namespace db {

// The result of an engine operation. Errors are values: nothing thrown leaves the engine.
// A failed status carries a message naming the file and, where it helps, the byte offset.
class Status
{
public:
    enum class Code
    {
        Ok,
        NotFound,
        Corruption,
        IoError,
        Locked,
        Invalid
    };

    Status() = default;
    static Status ok() { return {}; }
    static Status notFound(const QString &message) { return {Code::NotFound, message}; }
    static Status corruption(const QString &message) { return {Code::Corruption, message}; }
    static Status ioError(const QString &message) { return {Code::IoError, message}; }
    static Status locked(const QString &message) { return {Code::Locked, message}; }
    static Status invalid(const QString &message) { return {Code::Invalid, message}; }

    bool isOk() const { return m_code == Code::Ok; }
    explicit operator bool() const { return isOk(); }
    bool isNotFound() const { return m_code == Code::NotFound; }
    bool isCorruption() const { return m_code == Code::Corruption; }
    bool isIoError() const { return m_code == Code::IoError; }
    bool isLocked() const { return m_code == Code::Locked; }
    Code code() const { return m_code; }
    const QString &message() const { return m_message; }
    // "Corruption: CUST5.DBF: record area ends at 1234, file has 1200 bytes"
    QString toString() const;

private:
    Status(Code code, QString message)
        : m_code(code)
        , m_message(std::move(message))
    {}

    Code m_code = Code::Ok;
    QString m_message;
};

} // namespace db
