// Finding objects of a web page: run it with
//   pwhost run examples/web-find.js --browser chrome --url examples/web/find.html
// The Sys node gives Browser and WaitBrowser, a browser gives Page and WaitPage, a page gives
// EvaluateXPath, FindChildByXPath, QuerySelector and QuerySelectorAll (attached by the web
// builders). Each line of the log is one answer.
var browser = Sys.Browser('chrome');
Log.Message(browser.FullName);
var page = browser.Page('*find.html');

Log.Message(page.EvaluateXPath('count(//li)', false));
var items = page.EvaluateXPath('//li', false);
var ids = [];
for (var i = 0; i < items.length; i++) ids.push(items[i].id);
Log.Message(ids.join(' '));
Log.Message(page.EvaluateXPath('//li', true).length);
Log.Message(page.FindChildByXPath('//li[2]', false).id);
Log.Message(page.QuerySelector('#third').id);
Log.Message(String(page.QuerySelector('#nothing')));
Log.Message(page.QuerySelectorAll('button').length);
Log.Message(page.Exists);
Log.Message(browser.WaitPage('*nosuch*', 300).Exists);
Log.Message(Sys.WaitBrowser('firefox', 300).Exists);
