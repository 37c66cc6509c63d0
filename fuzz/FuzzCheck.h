#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one aborts like a crash, so libFuzzer saves the
// input and the regression test that replays it fails with the same message.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace shoulu::fuzz {

// Consumes a fuzz input from the front; past the end every read gives zeros or nothing, so a
// short input is just another case.
class FuzzInput
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    { }

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    // Up to count bytes, fewer at the end.
    const char* bytes(std::size_t count, std::size_t* got)
    {
        *got = count < m_size - m_pos ? count : m_size - m_pos;
        const char* at = reinterpret_cast<const char*>(m_data + m_pos);
        m_pos += *got;
        return at;
    }

    std::uint64_t integer(std::size_t byteCount)
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < byteCount; ++i) {
            value = (value << 8) | byte();
        }
        return value;
    }

    const char* rest(std::size_t* got) { return bytes(m_size - m_pos, got); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace shoulu::fuzz
