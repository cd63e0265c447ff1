// Filling a web form: run it with
//   pwhost run examples/web-form.js --browser iexplore --url examples/web/form.html
// The web layer gives the browser ToUrl (navigate and answer the page node), pages
// Find (an element by a property, a wildcard and a tag) and PagePicture, check boxes
// ClickChecked, list boxes SelectItem and combo boxes ClickItem; elements read and write their
// value on the page. Each step writes its outcome to the test log.
var browser = Sys.Browser("iexplore");
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
  // value is read from the page at each call, and written to it.
  name.value = "Bob";
  Log.Message("Now it holds " + name.value);

  // Set a box, clear one, and try one whose script refuses the click and a disabled one: the
  // last two are errors in the log.
  agree.ClickChecked(true);
  page.Find("id", "news").ClickChecked(false);
  page.Find("id", "locked").ClickChecked(true);
  page.Find("id", "off").ClickChecked(true);

  // A list box of several items and a one-line combo box: select an item of the list, pick one
  // of the combo's items in its open list.
  var colours = page.Find("id", "colours");
  colours.SelectItem("Green", true);
  Log.Message("Selected colours: " + colours.wSelectedItems);
  var size = page.Find("id", "size");
  size.ClickItem("Large");
  Log.Message("The size is " + size.wText + " (item " + size.wSelectedItem + ")");

  // The whole page as a picture, saved as PNG in the current folder; the page wrote its scroll
  // size into a hidden field.
  Log.Message("The page is " + page.Find("id", "pageSize").value);
  var picture = page.PagePicture();
  Log.Message("The page picture is saved: " + picture.SaveToFile("web-form.png"));

  // Nothing matches: Find answers the "item" object, which does not exist.
  var missing = page.Find("id", "nothing");
  Log.Message("An element 'nothing' exists: " + missing.Exists);
}
Log.Event("Errors so far: " + Log.ErrCount);
