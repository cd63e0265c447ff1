// Navigating a browser's page: run it with
//   pwhost run examples/web-navigate.js --browser iexplore --url examples/web/form.html
// The web layer gives a page URL, NavigateTo, Wait and ToUrl, the "iexplore" process IEFrame
// (its frame window) and the frame window Page. A relative URL is taken against the page's own.
// Each line of the log is one answer; file names stand for the URLs, which hold the folder.
function fileName(url) {
  return url.substring(url.lastIndexOf('/') + 1);
}
var browser = Sys.Browser('iexplore');
var page = browser.Page('*form.html');
Log.Message('The page shows ' + fileName(page.URL));

// NavigateTo returns once the page has loaded (at most the time given, in ms).
page.NavigateTo('find.html');
Log.Message('Now it shows ' + fileName(page.URL));
page.NavigateTo('form.html?step=2', 10000);
// Wait answers the URL once the page has loaded.
Log.Message('Loaded: ' + fileName(page.Wait()));

// ToUrl navigates, answers the page node and writes the outcome to the log.
var found = page.ToUrl('find.html');
Log.Message('ToUrl answered a page that shows ' + fileName(found.URL));

// The browser's frame window, and the page it shows by URL or pattern; a page it does not show
// is an object that does not exist.
var frame = browser.IEFrame(0);
Log.Message('The frame window exists: ' + frame.Exists);
Log.Message('The frame shows ' + fileName(frame.Page('*find.html').URL));
Log.Message('The frame shows form.html: ' + frame.Page('*form.html').Exists);
