#include "host/recorder.h"

#include <fstream>

#include "host/plugin_host.h"
#include "host/recording_file.h"
#include "host/test_host.h"
#include "platform/rtl/strings.h"

namespace pw::host {

namespace {

std::string FailureReason(HRESULT hr) { return WideToUtf8(FailureText(hr)); }

WideString ActionCode(const TRecordedAction& action, const GUID& language) {
  WideString code;
  for (const auto& s : action.StatementsBefore()) {
    if (!code.empty()) code += u"; ";
    code += RenderSyntaxElement(s.Get(), language);
  }
  if (action.Call()) {
    if (!code.empty()) code += u"; ";
    code += RenderRecordedCall(*action.Call(), language);
  }
  return code.empty() ? WideString(u"-") : code;
}

WideString ObjectNameOf(IUnknown* object) {
  auto recorded = QueryAs<IpwRecordedObject>(object);
  if (auto own = dynamic_cast<TRecordedObject*>(recorded.Get())) return own->Name();
  return u"-";
}

}  // namespace

int RunRecorder(TestHost& host, const RecorderRequest& request, std::FILE* out, std::FILE* err) {
  RecordingFile file;
  try {
    file = ReadRecordingFile(request.file);
  } catch (const RecordingFileError& e) {
    std::fprintf(err, "pwhost record: %s\n", e.what());
    return 1;
  }
  auto analyzers = host.Recording().Analyzers();
  if (analyzers.empty()) {
    std::fprintf(err, "pwhost record: no plug-in registered a recording analyzer\n");
    return 1;
  }
  ApplyRecordingSettings(host, file.settings);
  auto analyzer = analyzers.front().As<IpwRecordingAnalyzer>();
  auto describer = analyzers.front().As<IpwRecordingDescriber>();
  if (!analyzer || !describer) {
    std::fprintf(err,
                 "pwhost record: the registered analyzer neither analyzes "
                 "nor describes recordings\n");
    return 1;
  }
  HRESULT hr = analyzer->Analyze(file.actions.Get());
  if (Failed(hr)) {
    std::fprintf(err, "pwhost record: the analysis failed: %s\n", FailureReason(hr).c_str());
    return 1;
  }
  auto writer = MakeObject<TRecordedCodeWriter>();
  hr = describer->Describe(writer.Get(), file.actions.Get());
  if (Failed(hr)) {
    std::fprintf(err, "pwhost record: the description failed: %s\n", FailureReason(hr).c_str());
    return 1;
  }
  std::string lines;
  try {
    for (const auto& action : file.actions->LiveActions()) {
      WideString description =
          action->Call() ? ExpandRecordedDescription(*action->Call(), request.languageKey) : WideString();
      lines += RecordedKindName(action->Kind()) + "\t" + WideToUtf8(ObjectNameOf(action->Object())) + "\t" +
               WideToUtf8(ActionCode(*action, request.languageKey)) + "\t" + WideToUtf8(description) + "\n";
    }
  } catch (const Exception& e) {
    std::fprintf(err, "pwhost record: %s\n", WideToUtf8(e.Message()).c_str());
    return 1;
  }
  if (!request.outFile.empty()) {
    std::string text = WriteRecording(file.settings, *file.actions);
    std::string temp = request.outFile + ".tmp";
    {
      std::ofstream o(temp, std::ios::binary | std::ios::trunc);
      o << text;
      o.flush();
      if (!o) {
        std::remove(temp.c_str());
        std::fprintf(err, "pwhost record: unable to write %s\n", request.outFile.c_str());
        return 1;
      }
    }
    if (std::rename(temp.c_str(), request.outFile.c_str()) != 0) {
      std::remove(temp.c_str());
      std::fprintf(err, "pwhost record: unable to write %s\n", request.outFile.c_str());
      return 1;
    }
  }
  std::fputs(lines.c_str(), out);
  return 0;
}

}  // namespace pw::host
