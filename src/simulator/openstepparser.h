#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// Internal to the app catalogue.
namespace AppCatalogueDetail {

// An old-style (OpenStep) property list, as far as `simctl listapps` uses it: dictionaries,
// arrays, quoted and bare strings, and <hex> data. Recursive, so the nesting is bounded.
class OpenStepParser
{
public:
    struct Node
    {
        enum class Kind { String, Dict, Array, Data } kind = Kind::String;
        QString text;
        QList<std::pair<QString, Node>> members;
        QList<Node> items;
    };

    explicit OpenStepParser(const QByteArray &bytes) : m_p(bytes.constData()), m_end(m_p + bytes.size()) {}

    std::optional<Node> parseDocument()
    {
        Node root;
        if (!value(root, 0))
            return std::nullopt;
        skipSpace();
        if (m_p != m_end)
            return std::nullopt;
        return root;
    }

private:
    static constexpr int maxDepth = 32;

    static bool isBare(char c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
               c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
    }

    void skipSpace()
    {
        while (m_p != m_end) {
            const char c = *m_p;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++m_p;
            } else if (c == '/' && m_end - m_p > 1 && m_p[1] == '/') {
                while (m_p != m_end && *m_p != '\n')
                    ++m_p;
            } else if (c == '/' && m_end - m_p > 1 && m_p[1] == '*') {
                const char *close = nullptr;
                for (const char *q = m_p + 2; q + 1 < m_end; ++q) {
                    if (q[0] == '*' && q[1] == '/') {
                        close = q;
                        break;
                    }
                }
                if (!close) {
                    m_p = m_end;
                    m_failed = true;
                    return;
                }
                m_p = close + 2;
            } else {
                return;
            }
        }
    }

    bool take(char c)
    {
        skipSpace();
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    static int hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool quoted(QString &out)
    {
        ++m_p; // the opening quote
        QByteArray utf8;
        while (m_p != m_end && *m_p != '"') {
            if (*m_p != '\\') {
                utf8.append(*m_p++);
                continue;
            }
            if (++m_p == m_end)
                return false;
            const char c = *m_p++;
            switch (c) {
            case 'n':
                utf8.append('\n');
                break;
            case 't':
                utf8.append('\t');
                break;
            case 'r':
                utf8.append('\r');
                break;
            case 'a':
                utf8.append('\a');
                break;
            case 'b':
                utf8.append('\b');
                break;
            case 'f':
                utf8.append('\f');
                break;
            case 'v':
                utf8.append('\v');
                break;
            case 'U': {
                char16_t unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const int v = m_p != m_end ? hexValue(*m_p) : -1;
                    if (v < 0)
                        return false;
                    unit = char16_t(unit * 16 + v);
                    ++m_p;
                }
                utf8.append(QString(QChar(unit)).toUtf8());
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int v = c - '0';
                    for (int i = 0; i < 2 && m_p != m_end && *m_p >= '0' && *m_p <= '7'; ++i)
                        v = v * 8 + (*m_p++ - '0');
                    utf8.append(char(v & 0xFF));
                } else {
                    utf8.append(c);
                }
            }
        }
        if (m_p == m_end)
            return false;
        ++m_p; // the closing quote
        out = QString::fromUtf8(utf8);
        return true;
    }

    bool string(QString &out)
    {
        skipSpace();
        if (m_p == m_end)
            return false;
        if (*m_p == '"')
            return quoted(out);
        const char *start = m_p;
        while (m_p != m_end && isBare(*m_p))
            ++m_p;
        if (m_p == start)
            return false;
        out = QString::fromLatin1(start, m_p - start);
        return true;
    }

    bool value(Node &node, int depth)
    {
        skipSpace();
        if (m_failed || m_p == m_end || depth > maxDepth)
            return false;
        switch (*m_p) {
        case '{':
            ++m_p;
            node.kind = Node::Kind::Dict;
            while (!take('}')) {
                std::pair<QString, Node> member;
                if (!string(member.first) || !take('=') || !value(member.second, depth + 1) || !take(';'))
                    return false;
                node.members.append(std::move(member));
            }
            return !m_failed;
        case '(':
            ++m_p;
            node.kind = Node::Kind::Array;
            if (take(')'))
                return !m_failed;
            for (;;) {
                Node item;
                if (!value(item, depth + 1))
                    return false;
                node.items.append(std::move(item));
                if (take(')'))
                    return !m_failed;
                if (!take(','))
                    return false;
                if (take(')')) // a trailing comma
                    return !m_failed;
            }
        case '<': {
            ++m_p;
            node.kind = Node::Kind::Data;
            while (m_p != m_end && *m_p != '>') {
                if (hexValue(*m_p) < 0 && *m_p != ' ' && *m_p != '\n' && *m_p != '\t' && *m_p != '\r')
                    return false;
                ++m_p;
            }
            if (m_p == m_end)
                return false;
            ++m_p;
            return true;
        }
        default:
            node.kind = Node::Kind::String;
            return string(node.text);
        }
    }

    const char *m_p;
    const char *m_end;
    bool m_failed = false;
};

inline const OpenStepParser::Node *member(const OpenStepParser::Node &dict, const QString &key)
{
    for (const auto &[name, value] : dict.members) {
        if (name == key)
            return &value;
    }
    return nullptr;
}

} // namespace AppCatalogueDetail
