// A first test script: run it with  pwhost run examples/hello.js
// The host publishes its runtime objects to the script: Log (the test log) and Sys (the root
// of the object tree of test objects). Members are called late-bound, as on any automation
// object.
Log.Message("Hello from " + Sys.Name);
Log.Message("The object tree has " + Sys.ChildCount + " top-level objects", "details go here");

// A failing call raises a script error that the script may catch...
try {
  Sys.Child(7);
} catch (e) {
  Log.Warning("Expected failure: " + e.message);
}

// ...and the log counts the errors posted so far.
Log.Event("Errors so far: " + Log.ErrCount);
