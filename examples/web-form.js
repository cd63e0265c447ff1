// Filling a web form: run it with
//   pwhost run examples/web-form.js --browser iexplore --url examples/web/form.html
// The web layer gives the browser process ToUrl (navigate and answer the page node), pages
// Find (an element by a property, a wildcard and a tag) and check boxes ClickChecked; each step
// writes its outcome to the test log.
var browser = Sys.Process("iexplore");
var page = browser.Page("*");

// Send the browser to the form again: ToUrl answers the page once it has loaded.
page = browser.ToUrl(page.URL);
if (!page.Exists) {
  Log.Error("The form did not open");
} else {
  // Find by id (ignoring case), by a wildcard, and by id with a tag name.
  var agree = page.Find("id", "AGREE");
  var name = page.Find("id", "user*", "input");
  Log.Message("The name field holds " + name.value);

  // Set a box, clear one, and try one whose script refuses the click and a disabled one: the
  // last two are errors in the log.
  agree.ClickChecked(true);
  page.Find("id", "news").ClickChecked(false);
  page.Find("id", "locked").ClickChecked(true);
  page.Find("id", "off").ClickChecked(true);

  // Nothing matches: Find answers the "item" object, which does not exist.
  var missing = page.Find("id", "nothing");
  Log.Message("An element 'nothing' exists: " + missing.Exists);
}
Log.Event("Errors so far: " + Log.ErrCount);
