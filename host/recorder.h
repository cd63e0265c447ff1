// The host's recorder stand-in: reads a recording file, makes its settings the
// host's, hands the recording to the analyzer a plug-in registered with the
// recording service (analysis, then description) and prints one line per action
// of the result:
//   KIND <TAB> OBJECT <TAB> CODE <TAB> DESCRIPTION
// CODE is the statements added before the action and its call, joined by "; "
// ("-" when the action got no code); OBJECT is the action's object's name ("-"
// without one). With an output file the rewritten recording is written in the
// same format. Nothing is written when the file cannot be read or a pass fails.
#pragma once

#include <cstdio>
#include <string>

#include "platform/com/guid.h"

namespace pw::host {

class TestHost;

struct RecorderRequest {
  std::string file;
  std::string outFile;  // empty: no output file
  GUID languageKey;     // the language of the printed code
};

// 0 done; 1 failed (the reason on err).
int RunRecorder(TestHost& host, const RecorderRequest& request, std::FILE* out, std::FILE* err);

}  // namespace pw::host
