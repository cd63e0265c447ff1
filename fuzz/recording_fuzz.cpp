// Recording files: parse the bytes; when they parse, the written recording must read back and
// write the same bytes, and the web event analyzer must analyze and describe the recording
// without failing in a way other than a clean error (a host call that refuses, which the
// analyzer reports as a failure code), and never detach an action twice.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "host/recording_file.h"
#include "host/test_host.h"
#include "web/recording/web_event_analyzer.h"

using namespace pw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static host::TestHost* testHost = new host::TestHost();  // one host for the process
  host::RecordingFile file;
  try {
    file = host::ParseRecording(fuzz::AsText(data, size));
  } catch (const host::RecordingFileError&) {
    return 0;
  }
  std::string written = host::WriteRecording(file.settings, *file.actions);
  host::RecordingFile again;
  try {
    again = host::ParseRecording(written);
  } catch (const host::RecordingFileError& e) {
    fuzz::Check(false, e.what());
  }
  fuzz::Check(host::WriteRecording(again.settings, *again.actions) == written, "the written recording changed");

  auto analyzer = MakeObject<web::TpwWebEventAnalyzer>(testHost->Manager());
  analyzer->Analyze(file.actions.Get());
  for (const auto& a : file.actions->AllActions()) fuzz::Check(a->DetachCount() <= 1, "an action was detached twice");
  auto writer = MakeObject<host::TRecordedCodeWriter>();
  analyzer->Describe(writer.Get(), file.actions.Get());
  // What the analysis made is written and read back like any recording.
  std::string after = host::WriteRecording(file.settings, *file.actions);
  try {
    host::ParseRecording(after);
  } catch (const host::RecordingFileError& e) {
    fuzz::Check(false, e.what());
  }
  return 0;
}
