// The shell's scene changes over the loader and the render module: the load-scene
// sequence and the T key's test box. Both run on the window thread.
#pragma once

#include <string>

class CRenderModule;
class VrmlLoader;

// Replaces the shown scene by `fileName`: clear the world, reset the parser (the
// old root and routes go), read "standardNodes.wrl" and the file, reset the scene
// (router, black background, entry view), hand root and routes to the module,
// render one frame. The render thread is stopped first and the scene lock is held
// throughout, so no animation step or paint sees the old scene half gone; press
// "PLAY!" again to animate the new one. Returns the loader's status: anything but
// VrmlLoader::kLoadOk means a file could not be opened (the loader has said which)
// and the world is left empty.
int LoadScene(CRenderModule& module, VrmlLoader& loader, const std::string& fileName);

// Adds a 2 x 1 x 2 box, turned one radian about z, to the current world and
// renders. False when the retained-mode objects could not be made.
bool AddTestBox(CRenderModule& module);
