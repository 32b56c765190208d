// The record's text: reading it token by token, writing it canonically, and
// putting it on the disk whole or not at all.
#include "records/record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace records {

namespace {

const char* const kFirstTags[] = {"Game", "Date", "Opening", "Light", "Dark", "Result"};

bool is_result(std::string_view t) { return t == "1-0" || t == "0-1" || t == "*"; }

// The line of the first byte that breaks UTF-8 (overlong forms, surrogates and
// code points past U+10FFFF included), or 0 when there is none.
int bad_utf8_line(std::string_view s) {
    int line = 1;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        if (c == '\n') line++;
        if (c < 0x80) {
            i++;
            continue;
        }
        size_t n;
        unsigned min;
        unsigned cp;
        if (c >= 0xc2 && c <= 0xdf)
            n = 1, min = 0x80, cp = c & 0x1f;
        else if (c >= 0xe0 && c <= 0xef)
            n = 2, min = 0x800, cp = c & 0x0f;
        else if (c >= 0xf0 && c <= 0xf4)
            n = 3, min = 0x10000, cp = c & 0x07;
        else
            return line;
        if (i + n >= s.size()) return line;
        for (size_t k = 1; k <= n; k++) {
            const unsigned char d = s[i + k];
            if ((d & 0xc0) != 0x80) return line;
            cp = cp << 6 | (d & 0x3f);
        }
        if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return line;
        i += n + 1;
    }
    return 0;
}

// Reads the text a token at a time, counting lines; comments and blanks are skipped.
class Reader {
public:
    explicit Reader(std::string_view text) : s_(text) {
        if (s_.substr(0, 3) == "\xef\xbb\xbf") at_ = 3; // a byte-order mark some editors add
    }
    int line() const { return line_; }
    // The next token, or false at the end: a tag line from `[` to `]` whole, or a
    // run of characters up to a blank or a `;`.
    bool next(std::string_view* token, int* line) {
        for (;;) {
            if (at_ >= s_.size()) return false;
            const char c = s_[at_];
            if (c == '\n') {
                line_++;
                at_++;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                at_++;
            } else if (c == ';') {
                while (at_ < s_.size() && s_[at_] != '\n') at_++;
            } else {
                break;
            }
        }
        const size_t start = at_;
        *line = line_;
        if (s_[at_] == '[') {
            // A tag runs to its `]`, which no quoted value hides, on the same line.
            bool quoted = false;
            while (at_ < s_.size() && s_[at_] != '\n') {
                const char c = s_[at_++];
                if (quoted && c == '\\' && at_ < s_.size() && s_[at_] != '\n')
                    at_++;
                else if (c == '"')
                    quoted = !quoted;
                else if (c == ']' && !quoted)
                    break;
            }
        } else {
            while (at_ < s_.size() && !std::strchr(" \t\r\n\f\v;", s_[at_])) at_++;
        }
        *token = s_.substr(start, at_ - start);
        return true;
    }

private:
    std::string_view s_;
    size_t at_ = 0;
    int line_ = 1;
};

// Text from the file as the message may show it: printable ASCII as it is, the rest
// as \xNN, and long tokens cut.
std::string shown(std::string_view t) {
    std::string out;
    for (size_t i = 0; i < t.size() && i < 40; i++) {
        const unsigned char c = t[i];
        if (c >= 0x20 && c < 0x7f) {
            out += char(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (t.size() > 40) out += "...";
    return out;
}

// `[Name "value"]`: a name of letters, digits and underscores, then the value in
// quotes, where \" and \\ stand for themselves.
bool parse_tag(std::string_view t, std::string* name, std::string* value, std::string* why) {
    size_t i = 1;
    auto blanks = [&] {
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) i++;
    };
    blanks();
    const size_t name_start = i;
    while (i < t.size() && (std::isalnum(static_cast<unsigned char>(t[i])) || t[i] == '_')) i++;
    *name = std::string(t.substr(name_start, i - name_start));
    if (name->empty() || !std::isalpha(static_cast<unsigned char>((*name)[0]))) {
        *why = "a tag without a name: " + shown(t);
        return false;
    }
    blanks();
    if (i >= t.size() || t[i] != '"') {
        *why = "the tag " + *name + " has no value in quotes";
        return false;
    }
    value->clear();
    for (i++; i < t.size() && t[i] != '"'; i++) {
        if (t[i] == '\\' && i + 1 < t.size()) i++;
        if (static_cast<unsigned char>(t[i]) < 0x20 && t[i] != '\t') {
            *why = "a control character in the tag " + *name;
            return false;
        }
        *value += t[i];
    }
    if (i >= t.size()) {
        *why = "the value of the tag " + *name + " has no closing quote";
        return false;
    }
    i++;
    blanks();
    if (i >= t.size() || t[i] != ']' || i + 1 != t.size()) {
        *why = "the tag " + *name + " does not end with ]";
        return false;
    }
    return true;
}

std::string quoted(const std::string& v) {
    std::string out = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

std::string Record::tag(std::string_view name) const {
    for (const auto& t : tags)
        if (t.first == name) return t.second;
    return "";
}

void Record::set_tag(const std::string& name, const std::string& value) {
    for (auto& t : tags)
        if (t.first == name) {
            t.second = value;
            return;
        }
    tags.emplace_back(name, value);
}

board::Opening Record::opening() const {
    board::Opening o = board::Opening::Standard;
    board::parse_opening(tag("Opening"), &o);
    return o;
}

board::Position Record::position(int count) const {
    board::Position p = board::opening(opening());
    const size_t n = count < 0 || size_t(count) > moves.size() ? moves.size() : size_t(count);
    for (size_t i = 0; i < n; i++) board::play(p, moves[i]);
    return p;
}

Record new_record(board::Opening opening, const std::string& light, const std::string& dark) {
    Record r;
    char date[16] = "????.??.??";
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local)) std::strftime(date, sizeof date, "%Y.%m.%d", &local);
    r.set_tag("Game", "Globoid");
    r.set_tag("Date", date);
    r.set_tag("Opening", board::opening_name(opening));
    r.set_tag("Light", light);
    r.set_tag("Dark", dark);
    r.set_tag("Result", "*");
    return r;
}

const char* result_of(const board::Position& p) {
    if (p.score[board::kLight] >= board::kWinScore) return "1-0";
    if (p.score[board::kDark] >= board::kWinScore) return "0-1";
    return "*";
}

std::string describe(const std::string& file, const Fault& fault) {
    return fault.line > 0 ? file + ":" + std::to_string(fault.line) + ": " + fault.what : file + ": " + fault.what;
}

bool parse(std::string_view text, Record* out, Fault* fault) {
    auto fail = [&](int line, std::string what) {
        *fault = {line, std::move(what)};
        return false;
    };
    if (const int line = bad_utf8_line(text)) return fail(line, "not UTF-8 text");
    Record r;
    board::Position p = board::opening();
    bool moves_begun = false, ended = false;
    std::string_view t;
    int line = 0;
    Reader reader(text);
    while (reader.next(&t, &line)) {
        if (ended) return fail(line, "\"" + shown(t) + "\" after the result");
        if (t[0] == '[') {
            if (moves_begun) return fail(line, "a tag after the moves");
            std::string name, value, why;
            if (!parse_tag(t, &name, &value, &why)) return fail(line, why);
            if (name == "Opening") {
                // Any letter case is read; the canonical name is kept.
                std::string lower = value;
                for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
                board::Opening o;
                if (!board::parse_opening(lower, &o))
                    return fail(line,
                                "unknown opening \"" + shown(value) + "\" (standard, rosettes or rosettes-inset)");
                p = board::opening(o);
                value = board::opening_name(o);
            }
            r.set_tag(name, value);
            continue;
        }
        moves_begun = true;
        if (is_result(t)) {
            // The written result stands beside the tag; the tag, when there is one, wins.
            if (r.tag("Result").empty()) r.set_tag("Result", std::string(t));
            ended = true;
            continue;
        }
        // A move number: digits and dots, `N.` before light's move, `N...` before dark's;
        // a move may follow without a blank.
        size_t digits = 0;
        while (digits < t.size() && digits < 9 && std::isdigit(static_cast<unsigned char>(t[digits]))) digits++;
        if (digits > 0 && digits < t.size() && t[digits] == '.') {
            size_t dots = digits;
            while (dots < t.size() && t[dots] == '.') dots++;
            const int number = std::stoi(std::string(t.substr(0, digits)));
            const int turn = int(r.moves.size() / 2) + 1;
            const bool dark = r.moves.size() % 2 == 1;
            if (number != turn || (dots - digits > 1) != dark)
                return fail(line, "move number \"" + shown(t.substr(0, dots)) + "\" where " + std::to_string(turn) +
                                      (dark ? "..." : ".") + " was due");
            t.remove_prefix(dots);
            if (t.empty()) continue;
        }
        board::Move m;
        if (!board::parse_move(t, &m)) return fail(line, "\"" + shown(t) + "\" is not a move");
        if (p.over()) return fail(line, board::to_text(m) + " after the game was won");
        const int mover = p.to_move;
        if (!board::play(p, m))
            return fail(line, board::to_text(m) + " is not a legal move for " + board::player_name(mover) + " (move " +
                                  std::to_string(r.moves.size() + 1) + ")");
        r.moves.push_back(m.normalised());
    }
    if (r.tag("Result").empty()) r.set_tag("Result", result_of(p));
    *out = std::move(r);
    return true;
}

bool read_file(const std::string& path, Record* out, Fault* fault) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *fault = {0, std::string("cannot be read: ") + std::strerror(errno)};
        return false;
    }
    struct stat st;
    std::string text;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) *fault = {0, "cannot be read: not a regular file"};
    // Read to one byte past the limit, so that a file that grows meanwhile is caught too.
    while (ok) {
        char buffer[65536];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *fault = {0, std::string("cannot be read: ") + std::strerror(errno)};
            ok = false;
        } else if (got == 0) {
            break;
        } else if (text.size() + size_t(got) > kMaxBytes) {
            *fault = {0, "over 1 MB, too long for a record"};
            ok = false;
        } else {
            text.append(buffer, size_t(got));
        }
    }
    close(fd);
    return ok && parse(text, out, fault);
}

std::string write(const Record& r) {
    std::string out;
    for (const char* name : kFirstTags)
        for (const auto& t : r.tags)
            if (t.first == name) out += "[" + t.first + " " + quoted(t.second) + "]\n";
    for (const auto& t : r.tags) {
        bool first = false;
        for (const char* name : kFirstTags) first |= t.first == name;
        if (!first) out += "[" + t.first + " " + quoted(t.second) + "]\n";
    }
    out += "\n";
    std::string line;
    auto add = [&](const std::string& word) {
        if (!line.empty() && line.size() + 1 + word.size() > 79) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    };
    for (size_t i = 0; i < r.moves.size(); i++) {
        std::string word = board::to_text(r.moves[i]);
        if (i % 2 == 0) word = std::to_string(i / 2 + 1) + ". " + word;
        add(word);
    }
    const std::string result = r.tag("Result");
    add(is_result(result) ? result : "*");
    return out + line + "\n";
}

bool write_file(const std::string& path, const std::string& text, std::string* error) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = path + ": not a regular file, left as it is";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    static std::atomic<unsigned> counter{0};
    const std::string aside = dir + (slash == std::string::npos ? "/" : "") + "." + base + "." +
                              std::to_string(getpid()) + "." + std::to_string(counter++) + ".new";
    const int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = aside + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += size_t(put);
    }
    const int saved = errno;
    const bool whole = done == text.size() && fsync(fd) == 0;
    close(fd);
    if (!whole || rename(aside.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(whole ? errno : saved);
        unlink(aside.c_str());
        return false;
    }
    // The rename itself reaches the disk once the folder is flushed.
    const int dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) {
        fsync(dir_fd);
        close(dir_fd);
    }
    return true;
}

} // namespace records
