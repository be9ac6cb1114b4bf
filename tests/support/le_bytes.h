#pragma once

#include <QByteArray>

#include <cstdint>
#include <initializer_list>

// Binary files built byte by byte, for the decoder and metafile tests.
namespace pixelcast::test {

// Appends the low 16 bits of `v` to `out`, low byte first.
inline void appendLe16(QByteArray& out, std::uint32_t v)
{
    out.append(static_cast<char>(v & 0xFFU));
    out.append(static_cast<char>((v >> 8U) & 0xFFU));
}

// Appends `v` to `out`, low byte first.
inline void appendLe32(QByteArray& out, std::uint32_t v)
{
    appendLe16(out, v & 0xFFFFU);
    appendLe16(out, v >> 16U);
}

// Little-endian bytes, appended in order.
class LeBytes {
public:
    LeBytes& text(const char* s)
    {
        m_data.append(s);
        return *this;
    }
    LeBytes& u8(std::initializer_list<int> values)
    {
        for (const int v : values) {
            m_data.append(static_cast<char>(v & 0xFF));
        }
        return *this;
    }
    LeBytes& u16(std::uint32_t v)
    {
        appendLe16(m_data, v);
        return *this;
    }
    LeBytes& u32(std::uint32_t v)
    {
        appendLe32(m_data, v);
        return *this;
    }
    LeBytes& bytes(const QByteArray& b)
    {
        m_data.append(b);
        return *this;
    }
    LeBytes& zeros(qsizetype n)
    {
        m_data.append(n, '\0');
        return *this;
    }
    [[nodiscard]] const QByteArray& data() const { return m_data; }

private:
    QByteArray m_data;
};

} // namespace pixelcast::test
