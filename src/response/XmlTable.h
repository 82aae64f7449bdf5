#pragma once

// Response documents read as tables: each parser lists, per element, the element names it
// knows and what each one does, plus what happens to an element it does not know.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "response/XmlBodyReader.h"

namespace zuzezi_zid {
namespace xml {

using Node = XmlBodyReader::Node;

// What a table does with an element that none of its rows names.
enum class Unknown {
    kWarn,  // WARN line, element skipped, parse goes on
    kSkip,  // skipped without a line
    kStop,  // WARN line, the parse fails at once
};

// What every action sees besides its element.
struct Walk {
    const std::string& body;  // as received, for the texts that quote it
    LogSite site;             // the public parser the lines are logged as

    void Log(int level, const char* fmt, const std::string& arg) const {
        XmlBodyReader::Log(level, site, fmt, arg, body);
    }
};

// false ends the whole parse with false.
template <class R>
using Action = std::function<bool(R&, const Node*, const Walk&)>;

template <class R>
struct Row {
    const char* name;
    Action<R> action;
    const char* dbg = nullptr;  // DBG line given the element's text, after the action
};

template <class R>
struct Table {
    std::vector<Row<R>> rows;
    Unknown unknown = Unknown::kWarn;
    const char* unknown_fmt = "";  // given the element's name and the body
    bool by_text = false;          // rows name the element's text instead of its name
};

// One element against a table: the first row of its name decides.
template <class R>
bool ReadElement(const Node* node, R& record, const Table<R>& table, const Walk& walk) {
    const std::string key = table.by_text ? XmlBodyReader::Text(node) : XmlBodyReader::Name(node);
    for (const auto& row : table.rows) {
        if (key == row.name) {
            if (!row.action(record, node, walk)) {
                return false;
            }
            if (row.dbg) {
                walk.Log(4, row.dbg, XmlBodyReader::Text(node));
            }
            return true;
        }
    }
    if (table.unknown != Unknown::kSkip) {
        walk.Log(2, table.unknown_fmt, XmlBodyReader::Name(node));
    }
    return table.unknown != Unknown::kStop;
}

template <class R>
bool ReadChildren(const Node* parent, R& record, const Table<R>& table, const Walk& walk) {
    ZID_FOR_EACH_CHILD(child, parent) {
        if (!ReadElement(child, record, table, walk)) {
            return false;
        }
    }
    return true;
}

using RootReader = std::function<bool(const Node* root, const Walk&)>;

// Parses a private copy of body and hands its root element over; unparsable text and a
// missing root log at ERR as the parser at site and give false.
bool ReadDocument(const std::string& body, const char* root_name, const char* miss_root_fmt,
                  const LogSite& site, const RootReader& read);

template <class R>
bool ReadDocument(const std::string& body, const char* root_name, const char* miss_root_fmt,
                  const LogSite& site, R& record, const Table<R>& table) {
    return ReadDocument(body, root_name, miss_root_fmt, site,
                        [&](const Node* root, const Walk& walk) {
                            return ReadChildren(root, record, table, walk);
                        });
}

// The parent's first child element of that name read with table, or a log line at level
// (fmt given the body) and false.
template <class R>
bool ReadRequired(const Node* parent, const char* name, int level, const char* miss_fmt,
                  R& record, const Table<R>& table, const Walk& walk) {
    const Node* node = XmlBodyReader::Child(parent, name);
    if (!node) {
        walk.Log(level, miss_fmt, walk.body);
        return false;
    }
    return ReadChildren(node, record, table, walk);
}

// Actions for leaves: the element's text, converted, into a member or through a setter.

template <class T>
using Convert = T (*)(const Node*);

template <class R, class T>
Action<R> Into(T R::*field, Convert<T> convert) {
    return [field, convert](R& r, const Node* n, const Walk&) {
        r.*field = convert(n);
        return true;
    };
}

template <class R, class A, class T>
Action<R> Call(void (R::*setter)(A), Convert<T> convert) {
    return [setter, convert](R& r, const Node* n, const Walk&) {
        (r.*setter)(convert(n));
        return true;
    };
}

template <class R>
Action<R> Text(std::string R::*field) {
    return Into(field, Convert<std::string>(&XmlBodyReader::Text));
}
// Without one enclosing double quote at either end.
template <class R>
Action<R> Unquoted(std::string R::*field) {
    return Into(field, Convert<std::string>(&XmlBodyReader::Unquoted));
}
// Decimal, 0 without digits.
template <class R>
Action<R> Number(uint64_t R::*field) {
    return Into(field, Convert<uint64_t>(&XmlBodyReader::Number));
}
// Signed decimal, 0 without a number.
template <class R>
Action<R> Int(int R::*field) {
    return Into(field, Convert<int>(&XmlBodyReader::Int));
}
// True for the exact text "true" only.
template <class R>
Action<R> Flag(bool R::*field) {
    return Into(field, Convert<bool>(&XmlBodyReader::Flag));
}
template <class R, class A>
Action<R> SetText(void (R::*setter)(A)) {
    return Call(setter, Convert<std::string>(&XmlBodyReader::Text));
}
template <class R>
Action<R> SetNumber(void (R::*setter)(uint64_t)) {
    return Call(setter, Convert<uint64_t>(&XmlBodyReader::Number));
}

template <class R>
Action<R> Append(std::vector<std::string> R::*list) {
    return [list](R& r, const Node* n, const Walk&) {
        (r.*list).push_back(XmlBodyReader::Text(n));
        return true;
    };
}

// The text of every child element, whatever its name.
template <class R>
Action<R> AppendEachChild(std::vector<std::string> R::*list) {
    return [list](R& r, const Node* n, const Walk&) {
        ZID_FOR_EACH_CHILD(child, n) { (r.*list).push_back(XmlBodyReader::Text(child)); }
        return true;
    };
}

// The element's presence is what counts, whatever it holds.
template <class R>
Action<R> SetTrue(void (R::*setter)(bool)) {
    return Call(setter, Convert<bool>([](const Node*) { return true; }));
}

// Actions for elements that hold elements.

// The element's children read into the same record.
template <class R>
Action<R> Children(const Table<R>& table) {
    return [&table](R& r, const Node* n, const Walk& w) { return ReadChildren(n, r, table, w); };
}

// The element's children read into a member record.
template <class R, class C>
Action<R> Member(C R::*field, const Table<C>& table) {
    return [field, &table](R& r, const Node* n, const Walk& w) {
        return ReadChildren(n, r.*field, table, w);
    };
}

// A record, starting as start, filled from the element's children and appended once they
// are all read (a parse that stops inside it appends nothing).
template <class R, class C>
Action<R> AppendRecord(std::vector<C> R::*list, const Table<C>& table, C start = C()) {
    return [list, &table, start](R& r, const Node* n, const Walk& w) {
        C item = start;
        if (!ReadChildren(n, item, table, w)) {
            return false;
        }
        (r.*list).push_back(std::move(item));
        return true;
    };
}

// A fresh record filled from the element's children and handed to a setter or appender,
// also when none of them was known.
template <class R, class C, class A>
Action<R> Fill(void (R::*store)(A), const Table<C>& table) {
    return [store, &table](R& r, const Node* n, const Walk& w) {
        C item;
        if (!ReadChildren(n, item, table, w)) {
            return false;
        }
        (r.*store)(item);
        return true;
    };
}

// Only the element's first child element is looked at, and only when the row names it.
template <class R>
Action<R> FirstChild(Row<R> row) {
    Table<R> table{{std::move(row)}, Unknown::kSkip};
    return [table](R& r, const Node* n, const Walk& w) {
        const Node* first = XmlBodyReader::FirstElement(n);
        return !first || ReadElement(first, r, table, w);
    };
}

}  // namespace xml
}  // namespace zuzezi_zid
