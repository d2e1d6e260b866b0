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

// title FILE [--order "pos:id:enabled,..."]
//                               the display title; the order's triples
//                               replace the default table's entries in turn
int RunTitleCommand(int argc, char** argv);

}  // namespace cli
}  // namespace bramble
