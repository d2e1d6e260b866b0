// `bramble qdx FILE`: the Text and URL information blocks a file's embedded
// data channel carries, one line each.
#pragma once

namespace bramble {
namespace cli {

// Prints TIME_MS<TAB>text|url<TAB>payload per block. TIME_MS is the decode
// time of the frame whose bytes completed the block, kept the way the
// plug-in keeps it: 0 at the first frame, advanced by each decoded frame's
// whole milliseconds before that frame's channel bytes are read. The
// plug-in's host then shows a URL at that time and a text 1000 ms earlier
// (not below 0). The payload is printed with \\, \t, \n and \xNN escapes for
// other control and non-ASCII bytes, as the test host prints it.
int RunQdxCommand(int argc, char** argv);

}  // namespace cli
}  // namespace bramble
