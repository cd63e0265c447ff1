// The entry that ends a ToUrl call: success, failure, failure of a live process.
#include "web/navigation/to_url_log.h"

#include <gtest/gtest.h>

#include "host/test_host.h"

namespace pw::web {
namespace {

TEST(LogToUrlOutcome, Table) {
  const WideString longUrl = u"http://example.com/" + WideString(50, u'p') + u"?q=1";
  const WideString shortUrl = u"http://example.com/a.htm";
  const WideString name = u"Sys.Browser(\"iexplore\")";
  struct Case {
    WideString url, error;
    std::optional<ToUrlProcessFacts> process;
    host::LogEntry::Kind kind;
    WideString text, details;
  } cases[] = {
      {shortUrl, u"", std::nullopt, host::LogEntry::Event, u"Navigating to the " + shortUrl + u" page.",
       u"URL: " + shortUrl + u"\r\n\r\n" + name},
      {longUrl, u"", ToUrlProcessFacts{u"12", u"x"}, host::LogEntry::Event,
       u"Navigating to the http://example.com/" + WideString(41, u'p') + u"... page.",
       u"URL: " + longUrl + u"\r\n\r\n" + name},
      {shortUrl, kCannotFindPageNode, std::nullopt, host::LogEntry::Error,
       u"Unable to navigate to the " + shortUrl + u" page.",
       u"URL: " + shortUrl + u"\r\nInfo: Cannot find the Page node.\r\n\r\n" + name},
      {longUrl, kErrorCallingNavigateTo, ToUrlProcessFacts{u"4102", u"iexplore.exe SCODEF:4100"}, host::LogEntry::Error,
       u"Unable to navigate to the http://example.com/" + WideString(41, u'p') + u"... page.",
       u"URL: " + longUrl +
           u"\r\nProcess ID: 4102\r\nProcess Command Line: iexplore.exe SCODEF:4100\r\nInfo: An error occurred "
           u"while calling the NavigateTo method.\r\n\r\n" +
           name},
  };
  for (const auto& c : cases) {
    host::TestHost host;
    LogToUrlOutcome(host.Manager(), name, c.url, c.error, c.process);
    auto entries = host.Log().Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, c.kind);
    EXPECT_EQ(entries[0].text, c.text);
    EXPECT_EQ(entries[0].additionalText, c.details);
  }
}

}  // namespace
}  // namespace pw::web
