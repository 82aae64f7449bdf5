// Ini files: an exact reader that knows comments, and a forgiving writer (case-blind,
// trims blanks, no comments) that rewrites the whole file for one key.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WinCompat.h"
#include "platform/CodePage.h"

namespace WinCompat {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string TrimLeft(const std::string& s) {
    size_t b = 0;
    while (b < s.size() && IsBlank(s[b])) ++b;
    return s.substr(b);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

struct Line {
    size_t begin;  // first byte
    size_t end;    // one past the content, before the line break
    size_t next;   // first byte of the next line
};

// A line ends at a line feed; where none is left, at a carriage return.
Line NextLine(const std::string& text, size_t pos) {
    size_t lf = text.find('\n', pos);
    if (lf != std::string::npos) return Line{pos, lf, lf + 1};
    size_t cr = text.find('\r', pos);
    if (cr != std::string::npos) return Line{pos, cr, cr + 1};
    return Line{pos, text.size(), text.size()};
}

size_t FirstNonBlank(const std::string& text, size_t b, size_t e) {
    while (b < e && IsBlank(text[b])) ++b;
    return b;
}

bool ReadWholeFile(FILE* f, std::string* out) {
    if (fseek(f, 0, SEEK_END) != 0) return false;
    long len = ftell(f);
    if (len <= 0 || fseek(f, 0, SEEK_SET) != 0) return false;
    out->resize(static_cast<size_t>(len));
    size_t got = fread(&(*out)[0], 1, out->size(), f);
    out->resize(got);
    return got > 0;
}

}  // namespace

void ReadIniString(const char* section, const char* key, const char* def, char* buf, int size,
                   const char* path) {
    if (!buf || size < 1) return;
    strncpy(buf, def ? def : "", static_cast<size_t>(size - 1));
    if (!path || !section || !key) return;
    FILE* f = fopen(path, "r");
    if (!f) return;
    char line[1024];
    bool in_section = false;
    for (;;) {
        memset(line, 0, sizeof line);
        if (!fgets(line, sizeof line, f)) break;
        size_t n = strlen(line);
        if (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) line[--n] = 0;
        if (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) line[--n] = 0;
        bool header = n >= 1 && line[0] == '[' && line[n - 1] == ']';
        if (!in_section) {
            if (header && n >= 2 && std::string(line + 1, n - 2) == section) in_section = true;
            continue;
        }
        if (header) break;
        if (n == 0 || line[0] == ';' || line[0] == '#') continue;
        char* eq = strchr(line, '=');
        if (!eq) continue;
        if (std::string(line, static_cast<size_t>(eq - line)) != key) continue;
        memset(buf, 0, static_cast<size_t>(size));
        if (eq[1]) strncpy(buf, eq + 1, static_cast<size_t>(size - 1));
        break;
    }
    fclose(f);
}

int ReadIniInt(const char* section, const char* key, const char* path) {
    std::vector<char> buf(1024, 0);
    ReadIniString(section, key, "", buf.data(), 1024, path);
    return atoi(buf.data());
}

void WriteIniString(const char* section_arg, const char* key_arg, const char* value_arg,
                    const char* path) {
    if (!section_arg || !path) return;
    const std::string section = Trim(section_arg);
    const bool has_key = key_arg != nullptr;
    const bool has_value = value_arg != nullptr;
    const std::string key = has_key ? Trim(key_arg) : std::string();
    const std::string value = has_value ? TrimLeft(value_arg) : std::string();

    FILE* f = fopen(path, access(path, F_OK) == 0 ? "r+" : "w+");
    if (!f) return;
    fseek(f, 0, SEEK_END);
    long length = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (length == 0) {
        if (has_key && has_value) {
            std::string text = "[" + section + "]\n" + key + "=" + value + "\n";
            fputs(text.c_str(), f);
        }
        fclose(f);
        return;
    }
    std::string text;
    if (!ReadWholeFile(f, &text)) {
        fclose(f);
        return;
    }

    // Scan for the section, its end, its last non-blank byte and the key's line.
    bool found_section = false;
    size_t section_begin = 0, section_end = text.size(), last_non_blank = 0;
    bool found_key = false;
    size_t key_first = 0, key_eq = 0, value_begin = 0, value_end = 0;
    for (size_t pos = 0; pos < text.size();) {
        Line ln = NextLine(text, pos);
        size_t first = FirstNonBlank(text, ln.begin, ln.end);
        bool header = first < ln.end && text[first] == '[';
        if (!found_section) {
            if (header) {
                size_t close = text.find(']', first);
                size_t name_end = (close == std::string::npos || close > ln.end) ? ln.end : close;
                if (SameName(Trim(text.substr(first + 1, name_end - first - 1)), section)) {
                    found_section = true;
                    section_begin = ln.begin;
                    last_non_blank = first;
                    for (size_t i = first; i < ln.end; ++i) {
                        if (!IsBlank(text[i])) last_non_blank = i;
                    }
                }
            }
            pos = ln.next;
            continue;
        }
        if (header) {
            section_end = ln.begin;
            break;
        }
        for (size_t i = first; i < ln.end; ++i) {
            if (!IsBlank(text[i])) last_non_blank = i;
        }
        if (!found_key && has_key) {
            size_t eq = text.find('=', first);
            if (eq != std::string::npos && eq < ln.end) {
                std::string line_key = Trim(text.substr(first, eq - first));
                if (!line_key.empty() && SameName(line_key, key)) {
                    found_key = true;
                    key_first = first;
                    key_eq = eq;
                    value_begin = FirstNonBlank(text, eq + 1, ln.end);
                    value_end = eq + 1;
                    for (size_t i = eq + 1; i < ln.end; ++i) {
                        if (!IsBlank(text[i])) value_end = i + 1;
                    }
                }
            }
        }
        pos = ln.next;
    }

    std::string out;
    bool write = false;
    if (found_section && !has_key) {
        out = text.substr(0, section_begin) + text.substr(section_end);
        write = true;
    } else if (found_section && found_key && has_value) {
        std::string old = value_begin < value_end ? text.substr(value_begin, value_end - value_begin) : "";
        if (old != value) {
            out = text.substr(0, key_eq + 1) + value + text.substr(value_end);
            write = true;
        }
    } else if (found_section && found_key) {
        size_t from = key_first > 0 ? key_first - 1 : 0;
        out = text.substr(0, from) + text.substr(value_end);
        write = true;
    } else if (found_section && has_value) {
        size_t after = last_non_blank + 1;
        size_t blanks_end = after;
        while (blanks_end < section_end && IsBlank(text[blanks_end])) ++blanks_end;
        out = text.substr(0, after) + "\n" + key + "=" + value;
        if (blanks_end == after) out += "\n";
        out += text.substr(after);
        write = true;
    } else if (!found_section && has_key && has_value) {
        out = text;
        if (out.back() != '\n') out += "\n";
        out += "[" + section + "]\n" + key + "=" + value + "\n";
        write = true;
    }
    fclose(f);
    if (!write) return;
    f = fopen(path, "w+");
    if (!f) return;
    fputs(out.c_str(), f);
    fclose(f);
}

namespace {
// The wide twins keep their files in code page 936, like WriteIniStringWide.
std::string To936(const wchar_t* w) {
    std::string s;
    if (w) zplat::WideToBytes(w, 936, &s);
    return s;
}
}  // namespace

void ReadIniStringWide(const wchar_t* section, const wchar_t* key, const wchar_t* def, wchar_t* buf,
                       int size, const wchar_t* path) {
    if (!buf || size < 1) return;
    wcsncpy(buf, def ? def : L"", static_cast<size_t>(size - 1));
    if (!path || !section || !key) return;
    std::vector<char> p(2046, 0);
    WideToMultiByte(path, p.data(), 2046, 936);
    const std::string marker("\x01");  // tells "absent" from a stored value
    std::vector<char> narrow(static_cast<size_t>(size) * 4 + 4, 0);
    ReadIniString(To936(section).c_str(), To936(key).c_str(), marker.c_str(), narrow.data(),
                  static_cast<int>(narrow.size()), p.data());
    if (marker == narrow.data()) return;
    std::wstring wide;
    zplat::BytesToWide(narrow.data(), 936, &wide);
    wmemset(buf, 0, static_cast<size_t>(size));
    wcsncpy(buf, wide.c_str(), static_cast<size_t>(size - 1));
}

long ReadIniIntWide(const wchar_t* section, const wchar_t* key, const wchar_t* path) {
    std::vector<wchar_t> buf(1024, 0);
    ReadIniStringWide(section, key, L"", buf.data(), 1024, path);
    return wcstol(buf.data(), nullptr, 10);
}

void WriteIniStringWide(const wchar_t* section, const wchar_t* key, const wchar_t* value,
                        const wchar_t* path) {
    std::vector<char> s(256, 0), k(256, 0), v(1024, 0), p(2046, 0);
    WideToMultiByte(section, s.data(), 256, 936);
    WideToMultiByte(key, k.data(), 256, 936);
    WideToMultiByte(value, v.data(), 1024, 936);
    WideToMultiByte(path, p.data(), 2046, 936);
    WriteIniString(s.data(), k.data(), v.data(), p.data());
}

}  // namespace WinCompat
