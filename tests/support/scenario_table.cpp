#include "scenario_table.h"

#include <cpl.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace scenarios {

namespace {

bool IsDigit(char c, int base)
{
    return (c >= '0' && c <= '9') ||
           (base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// A whole number of 32 bits: decimal, or hexadecimal after 0x.
bool ParseNumber(const std::string& word, DWORD* value)
{
    bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    int base = hex ? 16 : 10;
    size_t first = hex ? 2 : 0;
    if (word.size() <= first)
        return false;
    unsigned long long number = 0;
    for (size_t i = first; i < word.size(); ++i) {
        if (!IsDigit(word[i], base))
            return false;
        char c = word[i];
        int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        number = number * base + digit;
        if (number > 0xFFFFFFFFull)
            return false;
    }
    *value = static_cast<DWORD>(number);
    return true;
}

// Splits a line into words: bare words, or "quoted text" with \" \\ and
// \uXXXX escapes. A # outside quotes starts a comment.
bool Words(const std::string& line, std::vector<std::string>* words)
{
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string word;
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] != '\\') {
                    word += line[i];
                } else if (i + 1 < line.size() && line[i + 1] == 'u') {
                    DWORD unit;
                    if (!ParseNumber("0x" + line.substr(i + 2, 4), &unit) || i + 5 >= line.size())
                        return false;
                    if (unit < 0x80) {
                        word += static_cast<char>(unit);
                    } else if (unit < 0x800) {
                        word += static_cast<char>(0xC0 | (unit >> 6));
                        word += static_cast<char>(0x80 | (unit & 0x3F));
                    } else {
                        word += static_cast<char>(0xE0 | (unit >> 12));
                        word += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
                        word += static_cast<char>(0x80 | (unit & 0x3F));
                    }
                    i += 5;
                } else if (i + 1 < line.size()) {
                    word += line[++i];
                }
            }
            if (i >= line.size())
                return false;
            ++i;
            words->push_back(word);
        } else {
            size_t end = line.find_first_of(" \t", i);
            words->push_back(line.substr(i, end - i));
            i = end == std::string::npos ? line.size() : end;
        }
    }
    return true;
}

// Pairs of hex digits.
bool ParseHex(const std::string& text, std::vector<BYTE>* bytes)
{
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        DWORD byte;
        if (!ParseNumber("0x" + text.substr(i, 2), &byte))
            return false;
        bytes->push_back(static_cast<BYTE>(byte));
    }
    return true;
}

// NAME=NUMBER (a 4-byte REG_DWORD), NAME=sz:TEXT, or NAME=TYPE:HEX.
bool ParseValue(const std::string& word, Value* value)
{
    size_t equals = word.find('=');
    if (equals == std::string::npos || equals == 0)
        return false;
    value->name = Wide(word.substr(0, equals));
    std::string rest = word.substr(equals + 1);
    size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        DWORD number;
        value->type = REG_DWORD;
        if (!ParseNumber(rest, &number))
            return false;
        value->data.assign(reinterpret_cast<BYTE*>(&number), reinterpret_cast<BYTE*>(&number) + 4);
        return true;
    }
    if (rest.compare(0, colon, "sz") == 0) {
        std::wstring text = Wide(rest.substr(colon + 1));
        value->type = REG_SZ;
        value->data.assign(reinterpret_cast<const BYTE*>(text.c_str()),
                           reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1));
        return true;
    }
    return ParseNumber(rest.substr(0, colon), &value->type) &&
           ParseHex(rest.substr(colon + 1), &value->data);
}

bool ParseValues(const std::vector<std::string>& words, size_t from, std::vector<Value>* values)
{
    for (size_t i = from; i < words.size(); ++i) {
        Value value;
        if (!ParseValue(words[i], &value))
            return false;
        values->push_back(value);
    }
    return true;
}

const std::map<std::string, LONG>& Messages()
{
    static const std::map<std::string, LONG> names = {
        {"CPL_INIT", CPL_INIT},         {"CPL_GETCOUNT", CPL_GETCOUNT},
        {"CPL_INQUIRE", CPL_INQUIRE},   {"CPL_SELECT", CPL_SELECT},
        {"CPL_DBLCLK", CPL_DBLCLK},     {"CPL_STOP", CPL_STOP},
        {"CPL_EXIT", CPL_EXIT},         {"CPL_NEWINQUIRE", CPL_NEWINQUIRE},
        {"CPL_STARTWPARMSW", CPL_STARTWPARMSW}};
    return names;
}

bool IsNumber(const std::string& word)
{
    DWORD ignored;
    return ParseNumber(word, &ignored);
}

// What a step takes after its verb, each word a kind: "N" a number, "T"
// any text, "M" a message (a CPL_ name or a number), "P" a parameter (a
// number or "record"), "a|b" one of those words; "..." anything the step
// checks itself.
struct Grammar {
    const char* verb;
    bool inDialog;
    std::vector<std::string> words;
    const char* expected;
};

const std::vector<Grammar>& Grammars()
{
    static const std::vector<Grammar> grammars = {
        {"cpl", false, {"..."}, "cpl MESSAGE [P1 [P2]] -> R"},
        {"cpl", true, {"..."}, "cpl MESSAGE [P1 [P2]] -> R"},
        {"record", false, {"dword|word|icon", "N", "N"}, "record dword|word|icon AT N"},
        {"record", false, {"text", "N", "T"}, "record text AT TEXT"},
        {"record", false, {"untouched"}, "record untouched"},
        {"entry", false, {"N", "->", "N"}, "entry REASON -> R"},
        {"open", false, {"->", "N"}, "open -> R"},
        {"field", true, {"N", "T"}, "field ID TEXT"},
        {"checked", true, {"N", "on|off"}, "checked ID on|off"},
        {"range", true, {"N", "N", "N"}, "range ID LOW HIGH"},
        {"type", true, {"N", "T"}, "type ID TEXT"},
        {"check", true, {"N", "on|off"}, "check ID on|off"},
        {"command", true, {"N"}, "command ID"},
        {"softkey", true, {"left|right"}, "softkey left|right"},
        {"ok", true, {}, "ok"},
        {"key", true, {"action"}, "key action"},
        {"ends", true, {}, "ends"},
        {"open", true, {}, "open"},
        {"elsewhere", true, {}, "elsewhere"},
        {"foreground", true, {}, "foreground"},
    };
    return grammars;
}

bool WordFits(const std::string& word, const std::string& kind)
{
    if (kind == "N")
        return IsNumber(word);
    if (kind == "T")
        return true;
    std::istringstream choices(kind);
    for (std::string choice; std::getline(choices, choice, '|');) {
        if (word == choice)
            return true;
    }
    return false;
}

// cpl MESSAGE [P1 [P2]] -> R
bool CplFits(const std::vector<std::string>& words)
{
    size_t arrow = words.size() - 2;
    if (words.size() < 3 || words.size() > 5 || words[arrow] != "->" || !IsNumber(words.back()) ||
        !(Messages().count(words[0]) || IsNumber(words[0])))
        return false;
    for (size_t i = 1; i < arrow; ++i) {
        if (!IsNumber(words[i]) && words[i] != "record")
            return false;
    }
    return true;
}

// Empty when the step is one the runner knows, there; else what was expected.
std::string CheckStep(const Step& step, bool inDialog)
{
    std::string expected;
    for (const Grammar& grammar : Grammars()) {
        if (grammar.verb != step.verb || grammar.inDialog != inDialog)
            continue;
        bool checksItself = grammar.words == std::vector<std::string>{"..."};
        bool fits = checksItself ? CplFits(step.words)
                                 : grammar.words.size() == step.words.size();
        for (size_t i = 0; fits && !checksItself && i < step.words.size(); ++i)
            fits = WordFits(step.words[i], grammar.words[i]);
        if (fits)
            return "";
        expected += (expected.empty() ? "" : " or ") + std::string(grammar.expected);
    }
    if (!expected.empty())
        return "expected " + expected;
    return std::string("no step ") + step.verb + (inDialog ? " in a dialog" : " outside a dialog");
}

// The journal's lines, with each @fragment and its arguments put in (a
// fragment may name another).
bool ExpandJournalLine(const std::string& line, const std::map<std::string, std::vector<std::string>>& fragments,
                       std::vector<std::string>* journal)
{
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
        return true;
    std::string text = line.substr(start);
    if (text[0] != '@') {
        journal->push_back(text);
        return true;
    }
    std::vector<std::string> words;
    if (!Words(text.substr(1), &words) || words.empty())
        return false;
    auto fragment = fragments.find(words[0]);
    if (fragment == fragments.end())
        return false;
    for (std::string entry : fragment->second) {
        for (size_t i = words.size() - 1; i >= 1; --i) {
            std::string mark = "$" + std::to_string(i);
            for (size_t at; (at = entry.find(mark)) != std::string::npos;)
                entry.replace(at, mark.size(), words[i]);
        }
        if (!ExpandJournalLine(entry, fragments, journal))
            return false;
    }
    return true;
}

}

std::wstring Wide(const std::string& text)
{
    std::wstring wide;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = text[i];
        if (c < 0x80) {
            wide += c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            wide += static_cast<wchar_t>(((c & 0x1F) << 6) | (text[++i] & 0x3F));
        } else if (i + 2 < text.size()) {
            wchar_t unit = static_cast<wchar_t>(((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) |
                                                (text[i + 2] & 0x3F));
            wide += unit;
            i += 2;
        }
    }
    return wide;
}

DWORD Number(const std::string& word)
{
    DWORD value = 0;
    ParseNumber(word, &value);
    return value;
}

LONG Message(const std::string& word)
{
    auto found = Messages().find(word);
    return found != Messages().end() ? found->second : static_cast<LONG>(Number(word));
}

std::vector<Scenario> Read(const std::string& path, std::string* error)
{
    // In binary, so that a carriage return is seen, not taken away.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return {};
    }
    std::vector<Scenario> read;
    std::map<std::string, std::vector<std::string>> fragments;
    std::vector<std::string>* block = nullptr;  // a fragment's or a journal's lines
    Scenario* journalOf = nullptr;
    std::string line;
    auto fail = [&](int number, const std::string& why) {
        *error = path + ":" + std::to_string(number) + ": " + why;
        return std::vector<Scenario>();
    };
    bool inDialog = false;
    int number = 1;
    for (; std::getline(file, line); ++number) {
        std::vector<std::string> words;
        if (!line.empty() && line.back() == '\r')
            return fail(number, "expected a line that ends without a carriage return");
        if (!Words(line, &words))
            return fail(number, "expected quotes that close, with escapes \\\" \\\\ \\uXXXX");
        if (block) {
            if (words.size() == 1 && words[0] == "end") {
                block = nullptr;
                journalOf = nullptr;
            } else if (journalOf) {
                if (!ExpandJournalLine(line, fragments, block))
                    return fail(number, "expected @NAME of a fragment above");
            } else if (!words.empty()) {
                block->push_back(line.substr(line.find_first_not_of(" \t")));
            }
            continue;
        }
        if (words.empty())
            continue;
        const std::string& verb = words[0];
        if (verb == "fragment" && words.size() == 2) {
            block = &fragments[words[1]];
            continue;
        }
        if (inDialog && verb == "close" && words.size() == 1) {
            read.back().steps.push_back({verb, {}, number});
            inDialog = false;
            continue;
        }
        if (inDialog && verb != "scenario") {
            Step step = {verb, std::vector<std::string>(words.begin() + 1, words.end()), number};
            std::string why = CheckStep(step, true);
            if (!why.empty())
                return fail(number, why);
            read.back().steps.push_back(step);
            continue;
        }
        if (verb == "scenario" && words.size() == 2) {
            if (inDialog)
                return fail(number, "expected close before the next scenario");
            read.push_back(Scenario());
            read.back().name = words[1];
            read.back().line = number;
            continue;
        }
        if (read.empty())
            return fail(number, "expected scenario NAME before it");
        Scenario& scenario = read.back();
        const std::string values = "expected values NAME=NUMBER, NAME=sz:TEXT or NAME=TYPE:HEX, "
                                   "HEX pairs of hex digits";
        if (verb == "store") {
            scenario.storeBefore.emplace();
            if (!ParseValues(words, 1, &*scenario.storeBefore))
                return fail(number, values);
        } else if (verb == "fail") {
            if (words.size() != 4 || !IsNumber(words[2]) || !IsNumber(words[3]))
                return fail(number, "expected fail FUNCTION N ERROR");
            scenario.failures.push_back({words[1], static_cast<int>(Number(words[2])),
                                         Number(words[3])});
        } else if (verb == "stored") {
            scenario.storeChecked = true;
            if (!(words.size() == 2 && words[1] == "none")) {
                scenario.storeAfter.emplace();
                if (!ParseValues(words, 1, &*scenario.storeAfter))
                    return fail(number, values + ", or stored none");
            }
        } else if (verb == "reloads") {
            if (words.size() != 2 || !IsNumber(words[1]))
                return fail(number, "expected reloads N");
            scenario.reloads = static_cast<int>(Number(words[1]));
        } else if (verb == "driver") {
            scenario.driver.emplace();
            for (size_t i = 1; i < words.size(); ++i) {
                if (words.size() != 5 || !IsNumber(words[i]))
                    return fail(number, "expected driver A B C D, four numbers");
                scenario.driver->push_back(Number(words[i]));
            }
        } else if (verb == "journal") {
            scenario.journalChecked = true;
            scenario.journalPrefixes.assign(words.begin() + 1, words.end());
            scenario.journalLine = number;
            block = &scenario.journal;
            journalOf = &scenario;
        } else {
            Step step = {verb, std::vector<std::string>(words.begin() + 1, words.end()), number};
            std::string why = CheckStep(step, false);
            if (!why.empty())
                return fail(number, why);
            scenario.steps.push_back(step);
            inDialog = verb == "open";
        }
    }
    if (block || inDialog)
        return fail(number - 1, block ? "expected end of the fragment or journal"
                             : "expected close of the last dialog");
    return read;
}

}
