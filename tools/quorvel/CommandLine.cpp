// Parsing quorvel's arguments, and its help texts.
#include "CommandLine.h"

namespace quorvel {

bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "--json") {
                line.json = true;
            } else if (arg == "--help" || arg == "-h") {
                line.help = true;
            } else if (arg == "--provider" || arg == "-p") {
                if (i + 1 >= argc) {
                    error = "option " + arg + " needs a programmatic identifier";
                    return false;
                }
                line.provider = argv[++i];
            } else if (arg.compare(0, 11, "--provider=") == 0) {
                line.provider = arg.substr(11);
            } else {
                error = "unknown option '" + arg + "'";
                return false;
            }
        } else if (line.command.empty()) {
            line.command = arg;
        } else {
            line.arguments.push_back(arg);
        }
    }
    return true;
}

std::string HelpText(const std::string& command) {
    if (command.empty())
        return "usage: quorvel [--provider PROGID] COMMAND [ARGUMENTS] [--json]\n"
               "\n"
               "Opens delimited text files through a registered OLE DB simple provider, the way the\n"
               "platform's simple-provider layer does: provider ProgID -> CLSID -> \"OSP Data Object\" ->\n"
               "data-object ProgID -> CLSID -> InprocServer32 -> DllGetClassObject -> DataSource.\n"
               "\n"
               "commands:\n"
               "  register [LIBRARY]      call the library's DllRegisterServer\n"
               "  unregister [LIBRARY]    call the library's DllUnregisterServer\n"
               "  show DATAMEMBER         print the table\n"
               "  shell DATAMEMBER        open the table for commands read from standard input\n"
               "  help [COMMAND]          this text, or a command's own\n"
               "\n"
               "DATAMEMBER is the data-member string: a file path, optionally followed by '|' and a\n"
               "delimiter option, e.g. 'plant.txt|delim=;'.\n"
               "\n"
               "options:\n"
               "  --provider PROGID       the provider's programmatic identifier (default: Quorvel)\n"
               "  --json                  machine-readable output (show, shell)\n"
               "  --help                  help\n"
               "\n"
               "On Linux the registry is the file $QUORVEL_REGISTRY, else\n"
               "$XDG_DATA_HOME/quorvel/classes.reg, else ~/.local/share/quorvel/classes.reg.\n"
               "\n"
               "exit status: 0 success; 1 a call or the save failed (the message names its HRESULT),\n"
               "or standard input or output failed; 2 usage error; 128+N the shell was stopped by\n"
               "signal N.\n";
    if (command == "register" || command == "unregister")
        return "usage: quorvel " + command +
               " [LIBRARY]\n"
               "\n"
               "Loads LIBRARY (default: the Quorvel library beside this program, else the one\n"
               "installed with it) and calls its " +
               (command == "register" ? std::string("DllRegisterServer,\nwhich writes")
                                      : std::string("DllUnregisterServer,\nwhich removes")) +
               " the provider's sixteen registry entries.\n";
    if (command == "show")
        return "usage: quorvel show DATAMEMBER [--json]\n"
               "\n"
               "Prints every row: aligned columns under their numbers, each row after its number.\n"
               "With --json, one JSON array per row: strings as JSON strings, empty cells as null,\n"
               "values of other types as {\"vt\":N,\"value\":...}.\n";
    if (command == "shell")
        return "usage: quorvel shell DATAMEMBER [--json]\n"
               "\n"
               "Keeps one table open and answers one command per input line, one line per answer.\n"
               "The table is saved if it was changed: at quit or the end of input, and also when\n"
               "an interrupt, terminate or hang-up signal stops the session or when standard input\n"
               "or output fails; the session then ends with a message. quit answers with the\n"
               "save's result and names a file the save kept aside: 'kept displaced PATH' (the\n"
               "file it replaced, another program's) or 'kept unsaved PATH' (the table's content,\n"
               "which could not replace the file). At the other endings these go to standard\n"
               "error. A failed save makes the exit status 1.\n"
               "\n"
               "  rows | cols                 the row or column count\n"
               "  get ROW COL                 a cell: \"text\", empty, null or vt=N TEXT\n"
               "  set ROW COL TEXT            store a string (the text runs to the end of the line)\n"
               "  seti ROW COL INTEGER        store a 32-bit integer (VT_I4)\n"
               "  setnull ROW COL             store a null (VT_NULL)\n"
               "  insert ROW COUNT            insert empty rows before ROW\n"
               "  delete ROW COUNT            delete rows from ROW on\n"
               "  find START COL FLAGS COMP TEXT\n"
               "                              search COL from START; FLAGS default, up, case, upcase or a\n"
               "                              number; COMP eq, lt, le, ge, gt, ne or a number; row -1: none\n"
               "  status ROW COL              the read/write status\n"
               "  locale                      the provider's locale\n"
               "  listen | unlisten           print every notification before the answer, or stop\n"
               "  dump                        the whole table\n"
               "  quit                        save the table, release it and end\n"
               "\n"
               "Blank lines and lines starting with # are skipped. A failed command answers\n"
               "'error NAME 0xXXXXXXXX: meaning' and the shell goes on; its exit status is then 1.\n"
               "A line that is no command answers 'error: why'; so does a plain line that is not\n"
               "valid text in the system's encoding (UTF-8 on Linux), rather than be stored altered.\n"
               "An insert that fails after making rows adds '; inserted N': those rows stay.\n"
               "\n"
               "With --json every input line is a JSON array, e.g. [\"set\",2,3,\"x\"] or\n"
               "[\"find\",1,2,\"b\",0,1] (text before flags and comparison), and every answer a JSON\n"
               "object with \"hr\" and the out values: rows, cols, value, inserted, deleted, row,\n"
               "status, locale, table (a failed insert that made rows keeps \"inserted\"). Events are\n"
               "objects such as {\"event\":\"cellChanged\",\"row\":2,\"col\":3}.\n";
    return std::string();
}

}  // namespace quorvel
