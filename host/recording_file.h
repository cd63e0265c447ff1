// The recording file that the host's recorder stand-in reads and writes (JSON;
// the format is in host/README.md). Reading checks everything before anything
// is made: a file that does not parse gives the parser's line and column, a
// faulty field its path ("actions[2].kind: ..."). Writing is canonical (known
// kinds and keys by name, others as GUID text; settings in a fixed order), so a
// file written, read back and written again gives the same bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/recording.h"

namespace pw::host {

class TestHost;

// A recording file that cannot be read; what() is the UTF-8 message.
class RecordingFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct RecordingSettings {
  // The web testing options by caption, in the file's order.
  std::vector<std::pair<std::string, OleVariant>> options;
  // "Dynamic parameters": the table's rows.
  std::optional<std::vector<WideString>> dynamicParameters;
  std::optional<bool> singleBrowser;
  std::optional<std::uint32_t> doubleClickTime;
};

struct RecordingFile {
  RecordingSettings settings;
  ComPtr<TRecordedActionList> actions;
};

RecordingFile ParseRecording(std::string_view text);
RecordingFile ReadRecordingFile(const std::string& fileName);
// The live actions of the recording with their parameters and blocks.
std::string WriteRecording(const RecordingSettings& settings, const TRecordedActionList& actions);

// Makes the settings the host's: the web options (keys by caption), the
// single-browser setting, the double-click time of the windows manager.
void ApplyRecordingSettings(TestHost& host, const RecordingSettings& settings);

// The name of a kind or a parameter key in files and output; GUID text when it
// has none.
std::string RecordedKindName(const GUID& kind);
std::string RecordedKeyName(const GUID& key);

}  // namespace pw::host
