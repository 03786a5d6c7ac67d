#include "scenario_table.h"

#include <fstream>
#include <map>
#include <sstream>

namespace scenarios {

namespace {

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
                } else if (i + 1 < line.size() && line[i + 1] == 'u' && i + 5 < line.size()) {
                    unsigned unit = std::stoul(line.substr(i + 2, 4), nullptr, 16);
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

std::vector<BYTE> Hex(const std::string& text)
{
    std::vector<BYTE> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

// NAME=NUMBER (a 4-byte REG_DWORD), NAME=sz:TEXT, or NAME=TYPE:HEX.
bool ParseValue(const std::string& word, Value* value)
{
    size_t equals = word.find('=');
    if (equals == std::string::npos)
        return false;
    value->name = Wide(word.substr(0, equals));
    std::string rest = word.substr(equals + 1);
    size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        DWORD number = Number(rest);
        value->type = REG_DWORD;
        value->data.assign(reinterpret_cast<BYTE*>(&number), reinterpret_cast<BYTE*>(&number) + 4);
    } else if (rest.compare(0, colon, "sz") == 0) {
        std::wstring text = Wide(rest.substr(colon + 1));
        value->type = REG_SZ;
        value->data.assign(reinterpret_cast<const BYTE*>(text.c_str()),
                           reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1));
    } else {
        value->type = Number(rest.substr(0, colon));
        value->data = Hex(rest.substr(colon + 1));
    }
    return true;
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
    return static_cast<DWORD>(std::stoul(word, nullptr, 0));
}

std::vector<Scenario> Read(const std::string& path, std::string* error)
{
    std::ifstream file(path);
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
    for (int number = 1; std::getline(file, line); ++number) {
        std::vector<std::string> words;
        if (!Words(line, &words))
            return fail(number, "a quote is not closed");
        if (block) {
            if (words.size() == 1 && words[0] == "end") {
                block = nullptr;
                journalOf = nullptr;
            } else if (journalOf) {
                if (!ExpandJournalLine(line, fragments, block))
                    return fail(number, "no such fragment");
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
        if (verb == "scenario" && words.size() == 2) {
            read.push_back(Scenario());
            read.back().name = words[1];
            read.back().line = number;
            continue;
        }
        if (read.empty())
            return fail(number, "a line outside a scenario");
        Scenario& scenario = read.back();
        if (verb == "store") {
            scenario.storeBefore.emplace();
            if (!ParseValues(words, 1, &*scenario.storeBefore))
                return fail(number, "a value is not NAME=VALUE");
        } else if (verb == "fail" && words.size() == 4) {
            scenario.failures.push_back({words[1], static_cast<int>(Number(words[2])),
                                         Number(words[3])});
        } else if (verb == "stored") {
            scenario.storeChecked = true;
            if (!(words.size() == 2 && words[1] == "none")) {
                scenario.storeAfter.emplace();
                if (!ParseValues(words, 1, &*scenario.storeAfter))
                    return fail(number, "a value is not NAME=VALUE");
            }
        } else if (verb == "reloads" && words.size() == 2) {
            scenario.reloads = static_cast<int>(Number(words[1]));
        } else if (verb == "driver" && words.size() == 5) {
            scenario.driver.emplace();
            for (size_t i = 1; i < words.size(); ++i)
                scenario.driver->push_back(Number(words[i]));
        } else if (verb == "journal") {
            scenario.journalChecked = true;
            scenario.journalPrefixes.assign(words.begin() + 1, words.end());
            scenario.journalLine = number;
            block = &scenario.journal;
            journalOf = &scenario;
        } else {
            scenario.steps.push_back(
                {verb, std::vector<std::string>(words.begin() + 1, words.end()), number});
        }
    }
    if (block)
        return fail(0, "a fragment or journal has no end");
    return read;
}

}
