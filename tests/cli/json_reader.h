// SPDX-License-Identifier: GPL-3.0-or-later
// A strict reader of JSON text for the command line's tests: it accepts exactly the JSON
// grammar and keeps each number's text, so tests can read it back as a float.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tolvenar::test {

struct JsonValue {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;  // a number's text as written, or a string's decoded value
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& key) const
    {
        if (kind != Kind::Object || !members.contains(key))
            throw std::runtime_error("no member " + key);
        return members.at(key);
    }
    const JsonValue& operator[](std::size_t i) const { return items.at(i); }
};

// Throws std::runtime_error at the first character that breaks the grammar, including anything
// but white space after the value.
class JsonReader {
public:
    static JsonValue parse(std::string_view text)
    {
        JsonReader reader(text);
        JsonValue value = reader.value();
        reader.blanks();
        if (reader.m_pos != text.size())
            reader.fail("text after the value");
        return value;
    }

private:
    explicit JsonReader(std::string_view text) : m_text(text) {}

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("JSON: " + what + " at " + std::to_string(m_pos));
    }
    char peek() const { return m_pos < m_text.size() ? m_text[m_pos] : '\0'; }
    void blanks()
    {
        while (peek() == ' ' || peek() == '\n' || peek() == '\r' || peek() == '\t')
            ++m_pos;
    }
    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected ") + c);
        ++m_pos;
    }
    bool word(std::string_view w)
    {
        if (m_text.substr(m_pos, w.size()) != w)
            return false;
        m_pos += w.size();
        return true;
    }
    std::size_t digits()
    {
        const std::size_t start = m_pos;
        while (peek() >= '0' && peek() <= '9')
            ++m_pos;
        return m_pos - start;
    }

    JsonValue value()
    {
        blanks();
        JsonValue v;
        const char c = peek();
        if (c == '{') {
            v.kind = JsonValue::Kind::Object;
            ++m_pos;
            blanks();
            if (peek() == '}') {
                ++m_pos;
                return v;
            }
            for (;;) {
                blanks();
                const std::string key = string();
                blanks();
                expect(':');
                if (!v.members.emplace(key, value()).second)
                    fail("duplicate key " + key);
                blanks();
                if (peek() == ',') {
                    ++m_pos;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = JsonValue::Kind::Array;
            ++m_pos;
            blanks();
            if (peek() == ']') {
                ++m_pos;
                return v;
            }
            for (;;) {
                v.items.push_back(value());
                blanks();
                if (peek() == ',') {
                    ++m_pos;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::Kind::String;
            v.text = string();
            return v;
        }
        if (word("null"))
            return v;
        if (word("true") || word("false")) {
            v.kind = JsonValue::Kind::Bool;
            v.boolean = m_text[m_pos - 4] == 't';
            return v;
        }
        v.kind = JsonValue::Kind::Number;
        const std::size_t start = m_pos;
        if (peek() == '-')
            ++m_pos;
        if (peek() == '0')
            ++m_pos;
        else if (digits() == 0)
            fail("expected a value");
        if (peek() == '.') {
            ++m_pos;
            if (digits() == 0)
                fail("expected a fraction digit");
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_pos;
            if (peek() == '+' || peek() == '-')
                ++m_pos;
            if (digits() == 0)
                fail("expected an exponent digit");
        }
        v.text = std::string(m_text.substr(start, m_pos - start));
        return v;
    }

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            if (m_pos >= m_text.size())
                fail("unterminated string");
            const char c = m_text[m_pos++];
            if (c == '"')
                return out;
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = peek();
            ++m_pos;
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (m_pos + 4 > m_text.size())
                    fail("short \\u escape");
                const unsigned code = std::stoul(std::string(m_text.substr(m_pos, 4)), nullptr, 16);
                m_pos += 4;
                if (code >= 0x80)
                    fail("only ASCII \\u escapes are expected here");
                out += static_cast<char>(code);
                break;
            }
            default: fail("bad escape");
            }
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

}  // namespace tolvenar::test
