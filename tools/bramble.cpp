// bramble: command-line front end to the frame reader and decoder.
#include <cstdio>
#include <cstring>

#include "decoder/Diagnostics.h"
#include "tags/TagCommands.h"
#include "tools/Commands.h"
#include "tools/QdxCommand.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(int argc, char** argv);
};

// New subcommands are one line here.
const Command kCommands[] = {
    {"decode", "decode IN OUT [--gapless] [--full-accuracy]  decode to OUT (.wav, raw s16le, or - for stdout);\n"
               "                     --gapless trims the encoder's delay and padding (LAME tag); --full-accuracy\n"
               "                     runs the exact float synthesis, within the standard's full accuracy",
     bramble::cli::Decode},
    {"info", "info IN [--full-accuracy]  stream description as key: value lines, and the accuracy decode runs",
     bramble::cli::Info},
    {"bench", "bench IN [--seconds N] decode speed from memory; bench IN --length: time to learn the length",
     bramble::cli::Bench},
    {"tag", "tag FILE [--title T --artist A --album B --year Y --comment C --genre N|NAME | --remove]",
     bramble::cli::RunTagCommand},
    {"title", "title FILE [--order \"pos:id:enabled,...\"] [--repeat N]  display title", bramble::cli::RunTitleCommand},
    {"qdx", "qdx FILE             information blocks: TIME_MS<TAB>text|url<TAB>payload", bramble::cli::RunQdxCommand},
};

int Usage() {
  std::fprintf(stderr, "usage: bramble [--verbose] COMMAND ...  (--verbose: the decoder's diagnostics on stderr)\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  bramble %s\n", c.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--verbose") == 0) {
    bramble::SetDiagnosticHook([](const char* text) { std::fputs(text, stderr); });
    --argc, ++argv;
  }
  if (argc < 2) return Usage();
  for (const Command& c : kCommands)
    if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
  return Usage();
}
