// quorvel: a host for OLE DB simple providers. Finds a provider through the
// registry, opens a delimited text file through it, and shows or edits it.
#include <cstdio>
#include <optional>
#include <string>

#include "CommandLine.h"
#include "HResultNames.h"
#include "Output.h"
#include "ProviderHost.h"
#include "SessionInput.h"
#include "Shell.h"
#include "TableView.h"
#include "TextCodec.h"

namespace {

using namespace quorvel;

const int kExitFailure = 1;
const int kExitUsage = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
    return kExitFailure;
}

int Usage(const std::string& message, const std::string& command) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
    std::fprintf(stderr, "Try 'quorvel help%s'.\n", command.empty() ? "" : (" " + command).c_str());
    return kExitUsage;
}

int Register(const CommandLine& line) {
    if (line.arguments.size() > 1) return Usage(line.command + " takes at most one LIBRARY", line.command);
    bool install = line.command == "register";
    std::string library = line.arguments.empty() ? DefaultLibraryPath() : line.arguments[0];
    std::string detail;
    HRESULT hr = CallRegistration(library, install, detail);
    if (FAILED(hr)) {
        std::string what = (install ? "cannot register '" : "cannot unregister '") + library + "'";
        if (!detail.empty() && detail != library) what += " [" + detail + "]";
        return Fail(DescribeFailure(what, hr));
    }
    return 0;
}

// Opens the data member through the provider; null, after the message, on failure.
OLEDBSimpleProvider* OpenTable(ProviderHost& host, const CommandLine& line, int& status) {
    std::string detail;
    HRESULT hr = host.Open(line.provider, detail);
    if (FAILED(hr)) {
        status = Fail(DescribeFailure(
            "cannot find the provider '" + line.provider + "'" + (detail.empty() ? "" : " [" + detail + "]"), hr));
        return nullptr;
    }
    const std::string& member = line.arguments[0];
    BSTR dataMember = NewBstr(WideFromNarrow(member));
    if (!dataMember) {
        status = Fail(DescribeFailure("cannot open '" + member + "'", E_OUTOFMEMORY));
        return nullptr;
    }
    IUnknown* table = nullptr;
    hr = host.Source()->getDataMember(dataMember, IID_OLEDBSimpleProvider, &table);
    SysFreeString(dataMember);
    if (FAILED(hr)) {
        status = Fail(DescribeFailure("cannot open '" + member + "'", hr));
        return nullptr;
    }
    return static_cast<OLEDBSimpleProvider*>(table);
}

// The rows go out as they are read, so that a large table is not held a
// second time as text. show has no edits to lose: a reader that stops
// reading ends it as it ends any filter (SIGPIPE on Linux, else a failed write).
int Show(const CommandLine& line, OLEDBSimpleProvider* table) {
    HRESULT hr;
    if (line.json) {
        hr = EmitJsonRows(table, [](const nlohmann::ordered_json& row) {
            WriteJson(row);
            return OutputError().empty();
        });
    } else {
        hr = EmitAligned(table, [](const std::string& text) {
            WriteLine(text);
            return OutputError().empty();
        });
    }
    table->Release();
    if (!FlushOutput()) return Fail("cannot write to standard output (" + OutputError() + ")");
    return FAILED(hr) ? Fail(DescribeFailure("cannot read '" + line.arguments[0] + "'", hr)) : 0;
}

// Help goes to standard output, and a failure to write it is an error too.
int PrintHelp(const std::string& text) {
    WriteText(text);
    return FlushOutput() ? 0 : Fail("cannot write to standard output (" + OutputError() + ")");
}

int Run(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return Usage(error, "");
    if (line.command == "help" || (line.help && line.command.empty())) {
        std::string topic = line.arguments.empty() ? std::string() : line.arguments[0];
        std::string text = HelpText(topic);
        if (text.empty()) return Usage("no help for unknown command '" + topic + "'", "");
        return PrintHelp(text);
    }
    if (line.command.empty()) return Usage("no command given", "");
    if (HelpText(line.command).empty()) return Usage("unknown command '" + line.command + "'", "");
    if (line.help) return PrintHelp(HelpText(line.command));
    if (line.command == "register" || line.command == "unregister") return Register(line);
    if (line.arguments.size() != 1) return Usage(line.command + " takes exactly one DATAMEMBER", line.command);

    std::optional<SessionInput> input;  // before the table: it holds a closed input's place
    if (line.command == "shell") input.emplace();
    ProviderHost host;
    int status = 0;
    OLEDBSimpleProvider* table = OpenTable(host, line, status);
    if (!table) return status;
    if (line.command == "show") {
        status = Show(line, table);
    } else {
        Shell shell(table, line.arguments[0], line.json);
        std::vector<std::string> messages;
        status = shell.Run(*input, messages);
        for (const std::string& message : messages) Fail(message);
    }
    if (!host.Close()) std::fprintf(stderr, "quorvel: the provider library is still in use; it stays loaded\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        return Fail(std::string("internal error: ") + e.what());
    }
}
