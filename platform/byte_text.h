// Text of the window and bytes of the database and the wire: one byte per character.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>

namespace varnetix {

// Each character becomes the low 8 bits of its code.
inline std::string toBytes(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text)
        bytes.push_back(static_cast<char>(c.unicode() & 0xFF));
    return bytes;
}

// Each byte becomes the character of the same code.
inline QString fromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QByteArray toByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace varnetix
