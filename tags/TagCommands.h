// `bramble tag` and `bramble title`: each takes the arguments after its own
// name and returns the process exit code (0 done, 1 failed, 2 usage).
#pragma once

namespace bramble {
namespace cli {

// tag FILE                      print the tag, or "no tag"
// tag FILE --title T --artist A --album B --year Y --comment C --genre N|NAME
//                               change only the given fields and write
// tag FILE --remove             cut the tag off
int RunTagCommand(int argc, char** argv);

// title FILE [--order "pos:id:enabled,..."] [--repeat N]
//                               the display title; the order's triples
//                               replace the default table's entries in turn;
//                               --repeat composes it N times and adds the
//                               line "title_lookups_ms: TIME"
int RunTitleCommand(int argc, char** argv);

// The `bramble info` lines of a file's tags: title, artist, album, year,
// comment and genre as they show (UTF-8), each only when it has a value,
// then "tags: " and the tags found (no line for a file without tags).
void PrintTagLines(const char* path);

}  // namespace cli
}  // namespace bramble
