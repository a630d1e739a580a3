// Parsing and answering the shell's commands.
#include "Shell.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "EventListener.h"
#include "HResultNames.h"
#include "Output.h"
#include "SessionInput.h"
#include "TableView.h"
#include "TextCodec.h"
#include "ValueFormat.h"

namespace quorvel {
namespace {

// How many numbers each command takes, and whether text follows them.
struct Syntax {
    int numbers;
    bool text;
};
const std::map<std::string, Syntax>& Commands() {
    static const std::map<std::string, Syntax> commands = {
        {"rows", {0, false}},     {"cols", {0, false}},    {"get", {2, false}},    {"set", {2, true}},
        {"seti", {3, false}},     {"setnull", {2, false}}, {"insert", {2, false}}, {"delete", {2, false}},
        {"find", {4, true}},      {"status", {2, false}},  {"locale", {0, false}}, {"listen", {0, false}},
        {"unlisten", {0, false}}, {"dump", {0, false}},    {"quit", {0, false}},
    };
    return commands;
}

const std::map<std::string, LONG> kFlags = {{"default", 0}, {"up", 1}, {"case", 2}, {"upcase", 3}};
const std::map<std::string, LONG> kComparisons = {{"eq", 1}, {"lt", 2}, {"le", 3}, {"ge", 4}, {"gt", 5}, {"ne", 6}};

bool ParseNumber(const std::string& token, LONG& value) {
    if (token.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(token.c_str(), &end, 10);
    if (*end || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    value = static_cast<LONG>(parsed);
    return true;
}

// The name of the nth number of a command, for messages.
std::string ArgumentName(const std::string& command, size_t index) {
    if (command == "find") {
        static const char* names[] = {"START", "COL", "FLAGS", "COMP"};
        return names[index];
    }
    if (command == "insert" || command == "delete") return index == 0 ? "ROW" : "COUNT";
    static const char* names[] = {"ROW", "COL", "INTEGER"};
    return names[index];
}

bool ParseArgument(const std::string& command, size_t index, const std::string& token, LONG& value,
                   std::string& error) {
    if (command == "find" && index >= 2) {
        const auto& names = index == 2 ? kFlags : kComparisons;
        auto named = names.find(token);
        if (named != names.end()) {
            value = named->second;
            return true;
        }
    }
    if (ParseNumber(token, value)) return true;
    error = ArgumentName(command, index) + " '" + token + "' is not a whole number in the signed 32-bit range";
    return false;
}

}  // namespace

bool ParsePlainCommand(const std::string& line, ShellCommand& command, std::string& error) {
    command = ShellCommand();
    // Bytes the narrow decoding would replace would be stored, and saved, as
    // U+FFFD: the line is refused instead.
    size_t valid = NarrowValidLength(line);
    if (valid < line.size()) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[valid]));
        error = "the line is not valid " + NarrowEncodingName() + " at byte offset " + std::to_string(valid) + " (" +
                byte + ")";
        return false;
    }
    size_t pos = 0;
    auto nextToken = [&](std::string& token) {
        size_t start = line.find_first_not_of(" \t", pos);
        if (start == std::string::npos) return false;
        size_t end = line.find_first_of(" \t", start);
        if (end == std::string::npos) end = line.size();
        token = line.substr(start, end - start);
        pos = end;
        return true;
    };
    if (!nextToken(command.name)) {
        error = "an empty line";
        return false;
    }
    auto syntax = Commands().find(command.name);
    if (syntax == Commands().end()) {
        error = "unknown command '" + command.name + "' (try: quorvel help shell)";
        return false;
    }
    for (int i = 0; i < syntax->second.numbers; ++i) {
        std::string token;
        if (!nextToken(token)) {
            error = command.name + " needs " + ArgumentName(command.name, static_cast<size_t>(i));
            return false;
        }
        LONG value = 0;
        if (!ParseArgument(command.name, static_cast<size_t>(i), token, value, error)) return false;
        command.numbers.push_back(value);
    }
    if (syntax->second.text) {
        // The text runs from after the one separating space to the end of the line.
        command.text = pos < line.size() ? line.substr(pos + 1) : std::string();
    } else {
        std::string extra;
        if (nextToken(extra)) {
            error = command.name + " takes no more than " + std::to_string(syntax->second.numbers) + " arguments";
            return false;
        }
    }
    return true;
}

bool ParseJsonCommand(const std::string& line, ShellCommand& command, std::string& error) {
    command = ShellCommand();
    nlohmann::ordered_json array = nlohmann::ordered_json::parse(line, nullptr, false);
    if (array.is_discarded() || !array.is_array() || array.empty() || !array[0].is_string()) {
        error = "a command is a JSON array whose first element names it, e.g. [\"get\",1,2]";
        return false;
    }
    command.name = array[0].get<std::string>();
    auto syntax = Commands().find(command.name);
    if (syntax == Commands().end()) {
        error = "unknown command '" + command.name + "'";
        return false;
    }
    // find's JSON form puts the text before the flags: ["find",START,COL,TEXT,FLAGS,COMP].
    std::vector<size_t> numberSlots, textSlot;
    int numbers = syntax->second.numbers;
    if (command.name == "find") {
        numberSlots = {1, 2, 4, 5};
        textSlot = {3};
    } else {
        for (int i = 0; i < numbers; ++i) numberSlots.push_back(static_cast<size_t>(i) + 1);
        if (syntax->second.text) textSlot = {static_cast<size_t>(numbers) + 1};
    }
    size_t expected = 1 + numberSlots.size() + textSlot.size();
    if (array.size() != expected) {
        error = command.name + " takes " + std::to_string(expected - 1) + " arguments";
        return false;
    }
    for (size_t n = 0; n < numberSlots.size(); ++n) {
        const nlohmann::ordered_json& item = array[numberSlots[n]];
        LONG value = 0;
        if (item.is_number_integer()) {
            long long parsed = item.get<long long>();
            if (item.is_number_unsigned() && item.get<unsigned long long>() > INT32_MAX) parsed = INT64_MAX;
            if (parsed < INT32_MIN || parsed > INT32_MAX) {
                error = ArgumentName(command.name, n) + " is outside the signed 32-bit range";
                return false;
            }
            value = static_cast<LONG>(parsed);
        } else if (!(item.is_string() && command.name == "find" && n >= 2 &&
                     ParseArgument(command.name, n, item.get<std::string>(), value, error))) {
            error = ArgumentName(command.name, n) + " must be a whole number";
            return false;
        }
        command.numbers.push_back(value);
    }
    if (!textSlot.empty()) {
        if (!array[textSlot[0]].is_string()) {
            error = command.name + ": the text must be a JSON string";
            return false;
        }
        command.text = array[textSlot[0]].get<std::string>();
        command.textIsUtf8 = true;
    }
    return true;
}

Shell::Shell(OLEDBSimpleProvider* table, const std::string& member, bool json)
    : table_(table), member_(member), json_(json) {}

Shell::~Shell() {
    ReleaseTable();
    if (listener_) listener_->Release();
}

void Shell::ReleaseTable() {
    if (table_) table_->Release();
    table_ = nullptr;
}

Shell::SaveOutcome Shell::SaveAndRelease() {
    SaveOutcome outcome;
    if (!table_) return outcome;
    void* out = nullptr;
    // A provider without the interface saves at the release, and cannot say how it went.
    if (SUCCEEDED(table_->QueryInterface(IID_VxTableSave, &out)) && out) {
        auto* saver = static_cast<VxTableSave*>(out);
        outcome.told = true;
        outcome.hr = saver->save();
        BSTR path = nullptr;
        if (SUCCEEDED(saver->getKeptFile(&outcome.kept, &path)) && path)
            outcome.keptPath.assign(path, SysStringLen(path));
        SysFreeString(path);
        saver->Release();
    }
    ReleaseTable();
    return outcome;
}

namespace {

const char* KeptName(VXKEPT kept) { return kept == VXKEPT_DISPLACED ? "displaced" : "unsaved"; }

}  // namespace

int Shell::Run(SessionInput& input, std::vector<std::string>& messages) {
    bool allSucceeded = true;
    std::string line;
    SessionInput::Result read = SessionInput::kEnd;
    bool written = true;
    while (table_ && (read = input.ReadLine(line)) == SessionInput::kLine) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || (!json_ && line[first] == '#')) continue;
        ShellCommand command;
        Answer answer;
        bool quit = false;
        if (json_ ? ParseJsonCommand(line, command, answer.error) : ParsePlainCommand(line, command, answer.error))
            answer = Execute(command, quit);
        else
            answer.hr = E_INVALIDARG;
        if (FAILED(answer.hr)) allSucceeded = false;
        Print(answer);
        if (!(written = FlushOutput()) || quit) break;
    }
    // After quit the table is gone, and its answer told the save's result.
    SaveOutcome saved = SaveAndRelease();

    // A signal that interrupted a write is the cause, not the write.
    const char* released = "; the table is released, which saves its changes";
    int signal = input.StopSignal();
    int status = allSucceeded ? 0 : 1;
    if (read == SessionInput::kStopped || (!written && signal)) {
        messages.push_back(SessionInput::SignalName(signal) + ": no more commands are read" + released);
        status = 128 + signal;
    } else if (!written) {
        messages.push_back("cannot write to standard output (" + OutputError() + "): no more commands are read" +
                           released);
        status = 1;
    } else if (read == SessionInput::kFailed) {
        messages.push_back("cannot read standard input (" + input.Error() + ")" + released);
        status = 1;
    }
    if (saved.kept != VXKEPT_NOTHING) {
        std::string path = NarrowFromWide(saved.keptPath.data(), saved.keptPath.size());
        messages.push_back(saved.kept == VXKEPT_DISPLACED ? "the file this save displaced is kept as '" + path + "'"
                                                          : "the table's unsaved content is kept as '" + path + "'");
    }
    // No edit may be lost unnoticed: a failed save outweighs a signal.
    if (FAILED(saved.hr)) {
        messages.push_back(DescribeFailure("cannot save '" + member_ + "'", saved.hr));
        status = 1;
    }
    return status;
}

void Shell::Print(const Answer& answer) {
    if (json_) {
        nlohmann::ordered_json line = nlohmann::ordered_json::object();
        line["hr"] = HResultHex(answer.hr);
        if (!answer.error.empty())
            line["error"] = answer.error;
        else if (FAILED(answer.hr))
            line["error"] = HResultLabel(answer.hr) + ": " + HResultMeaning(answer.hr);
        for (auto& item : answer.values.items()) line[item.key()] = item.value();
        WriteJson(line);
        return;
    }
    if (!answer.error.empty()) {
        WriteLine("error: " + answer.error);
    } else if (FAILED(answer.hr)) {
        std::string line = "error " + HResultLabel(answer.hr) + ": " + HResultMeaning(answer.hr);
        WriteLine(answer.partial.empty() ? line : line + "; " + answer.partial);
    } else {
        for (const std::string& text : answer.lines) WriteLine(text);
    }
}

Shell::Answer Shell::Execute(const ShellCommand& command, bool& quit) {
    Answer answer;
    const std::string& name = command.name;
    const std::vector<LONG>& n = command.numbers;
    auto text = [&] { return command.textIsUtf8 ? WideFromUtf8(command.text) : WideFromNarrow(command.text); };

    if (name == "rows" || name == "cols") {
        LONG count = 0;
        if (name == "rows") {
            DBROWCOUNT rows = 0;
            answer.hr = table_->getRowCount(&rows);
            count = static_cast<LONG>(rows);
        } else {
            DB_LORDINAL columns = 0;
            answer.hr = table_->getColumnCount(&columns);
            count = static_cast<LONG>(columns);
        }
        answer.values[name] = count;
        answer.lines.push_back(name + " " + std::to_string(count));
    } else if (name == "get") {
        VARIANT cell;
        VariantInit(&cell);
        answer.hr = table_->getVariant(n[0], n[1], OSPFORMAT_RAW, &cell);
        if (SUCCEEDED(answer.hr)) {
            answer.values["value"] = CellToJson(cell);
            answer.lines.push_back("value " + CellToAnswer(cell));
        }
        VariantClear(&cell);
    } else if (name == "set" || name == "seti" || name == "setnull") {
        VARIANT value;
        VariantInit(&value);
        if (name == "set") {
            value.vt = VT_BSTR;
            value.bstrVal = NewBstr(text());
            if (!value.bstrVal) answer.hr = E_OUTOFMEMORY;
        } else if (name == "seti") {
            value.vt = VT_I4;
            value.lVal = n[2];
        } else {
            value.vt = VT_NULL;
        }
        if (SUCCEEDED(answer.hr)) answer.hr = table_->setVariant(n[0], n[1], OSPFORMAT_RAW, value);
        VariantClear(&value);
        answer.lines.push_back("ok");
    } else if (name == "insert" || name == "delete") {
        DBROWCOUNT done = 0;
        answer.hr = name == "insert" ? table_->insertRows(n[0], n[1], &done) : table_->deleteRows(n[0], n[1], &done);
        std::string key = name == "insert" ? "inserted" : "deleted";
        answer.values[key] = static_cast<LONG>(done);
        answer.lines.push_back(key + " " + std::to_string(static_cast<LONG>(done)));
        // An insert that runs out of memory part-way keeps the rows it made,
        // and they are saved with the table: the user must hear of them.
        if (FAILED(answer.hr) && done > 0) answer.partial = answer.lines.back();
    } else if (name == "find") {
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BSTR;
        value.bstrVal = NewBstr(text());
        DBROWCOUNT found = -1;
        answer.hr = value.bstrVal ? table_->find(n[0], n[1], value, static_cast<OSPFIND>(n[2]),
                                                 static_cast<OSPCOMP>(n[3]), &found)
                                  : E_OUTOFMEMORY;
        VariantClear(&value);
        answer.values["row"] = static_cast<LONG>(found);
        answer.lines.push_back("row " + std::to_string(static_cast<LONG>(found)));
    } else if (name == "status") {
        OSPRW status = OSPRW_DEFAULT;
        answer.hr = table_->getRWStatus(n[0], n[1], &status);
        answer.values["status"] = static_cast<int>(status);
        answer.lines.push_back("status " + std::to_string(static_cast<int>(status)));
    } else if (name == "locale") {
        BSTR locale = nullptr;
        answer.hr = table_->getLocale(&locale);
        if (SUCCEEDED(answer.hr)) {
            answer.values["locale"] = Utf8FromWide(locale, SysStringLen(locale));
            answer.lines.push_back("locale " + NarrowFromWide(locale, SysStringLen(locale)));
        }
        SysFreeString(locale);
    } else if (name == "listen" || name == "unlisten") {
        if (!listener_) listener_ = new EventListener(json_);
        if (name == "listen") {
            answer.hr = table_->addOLEDBSimpleProviderListener(listener_);
        } else {
            answer.hr = table_->removeOLEDBSimpleProviderListener(listener_);
        }
        answer.lines.push_back("ok");
    } else if (name == "dump") {
        if (json_) {
            nlohmann::ordered_json rows = nlohmann::ordered_json::array();
            answer.hr = EmitJsonRows(table_, [&](const nlohmann::ordered_json& row) {
                rows.push_back(row);
                return true;
            });
            answer.values["table"] = rows;
        } else {
            answer.hr = EmitAligned(table_, [&](const std::string& text) {
                answer.lines.push_back(text);
                return true;
            });
        }
    } else if (name == "quit") {
        // The table is saved before the answer is given, which tells how it went.
        SaveOutcome saved = SaveAndRelease();
        quit = true;
        // Nothing to save is no failure; JSON says whether a save was made.
        answer.hr = saved.hr == S_FALSE ? S_OK : saved.hr;
        if (saved.told && SUCCEEDED(saved.hr)) answer.values["saved"] = saved.hr == S_OK;
        if (saved.kept != VXKEPT_NOTHING) {
            answer.values["kept"] = KeptName(saved.kept);
            answer.values["keptPath"] = Utf8FromWide(saved.keptPath.data(), saved.keptPath.size());
            std::string kept = std::string("kept ") + KeptName(saved.kept) + " " +
                               NarrowFromWide(saved.keptPath.data(), saved.keptPath.size());
            answer.lines.push_back(kept);
            answer.partial = kept;
        }
        answer.lines.push_back("ok");
    }
    // Out values are only reported for calls that succeeded, or that changed
    // the table before they failed.
    if (FAILED(answer.hr) && answer.partial.empty()) answer.values = nlohmann::ordered_json::object();
    return answer;
}

}  // namespace quorvel
