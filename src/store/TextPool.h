#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace shoulu {

// As Statement::textAt makes it: NULL gives a null string, '' an empty one.
inline QString utf8Text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The few distinct texts of a column (engine keys, status words, hosts), made once per view
// and shared instead of once for each of thousands of readings.
class TextPool
{
public:
    // The entry of the text, added when new; -1 once the pool is full of other texts.
    int find(std::string_view utf8)
    {
        const bool isNull = utf8.data() == nullptr;
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].isNull == isNull && m_entries[i].bytes == utf8) {
                return static_cast<int>(i);
            }
        }
        if (m_entries.size() >= MaxEntries) {
            return -1;
        }
        m_entries.push_back({ std::string(utf8), isNull, utf8Text(utf8) });
        return static_cast<int>(m_entries.size() - 1);
    }
    QString text(std::string_view utf8)
    {
        const int entry = find(utf8);
        return entry >= 0 ? at(entry) : utf8Text(utf8);
    }
    const QString& at(int entry) const { return m_entries[static_cast<size_t>(entry)].text; }

private:
    static constexpr size_t MaxEntries = 32;
    struct Entry
    {
        std::string bytes;
        bool isNull;
        QString text;
    };
    std::vector<Entry> m_entries;
};

} // namespace shoulu
