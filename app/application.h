// Process set-up of the viewer around the Qt application object.
#pragma once

// Before the application object exists: the OpenGL format every widget asks for.
void PrepareApplication();

// After it exists: the X11 window class "Render" (the application name), the
// message sink, and numbers read and printed with "." whatever the user's locale
// (Qt adopts that locale for everything else).
void ConfigureApplication();
