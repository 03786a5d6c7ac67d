// The table of scenarios both images run (tests/scenarios/applet.scenarios):
// what is stored and which calls fail before, what the host and the user do,
// and what must follow: the calls the applet makes, what is left in the
// store and what reached the keypad driver. The format is described at the
// top of the table itself. The reader takes only what it understands: a
// line it does not stops the read, with its number and what was expected.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace scenarios {

// A registry value, as stored or as expected to be left.
struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
};

// A line of the table: its verb, its words (quotes and escapes resolved)
// and where it stands.
struct Step {
    std::string verb;
    std::vector<std::string> words;
    int line;
};

struct Failure {
    std::string function;
    int nth;
    DWORD error;
};

struct Scenario {
    std::string name;
    int line = 0;
    std::optional<std::vector<Value>> storeBefore;  // none: no key at all
    std::vector<Failure> failures;
    std::vector<Step> steps;  // in order, a dialog's between "open" and "close"
    bool storeChecked = false;
    std::optional<std::vector<Value>> storeAfter;
    std::optional<int> reloads;
    std::optional<std::vector<DWORD>> driver;
    bool journalChecked = false;
    std::vector<std::string> journalPrefixes;  // none: every call
    std::vector<std::string> journal;
    int journalLine = 0;
};

// The scenarios of the table at `path`; a line it cannot read fails the
// read, with "PATH:LINE: expected ..." in `error`.
std::vector<Scenario> Read(const std::string& path, std::string* error);

// Text as the journal writes it, from the table's UTF-8.
std::wstring Wide(const std::string& text);

// A number of the table, as the reader has checked it: decimal, or
// hexadecimal after 0x.
DWORD Number(const std::string& word);
// A message: a CPL_ name or a number.
LONG Message(const std::string& word);

}
