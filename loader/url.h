// Where a URL named in a scene file points on this machine: relative URLs are
// relative to the file that names them, as VRML97 authors expect.
#pragma once

#include <string>

// The local path of `url` as named in the file `baseFile`: a `file:` URL
// (file:///abs, file://localhost/abs, file:rel) loses its scheme and has its
// %XX escapes decoded; an absolute path stays; a relative one is joined to
// baseFile's folder (an empty baseFile leaves it relative to the working
// folder). Other schemes (http:, urn:, ...) come back unchanged: no file of
// that name exists and the caller reports it as missing.
std::string ResolveUrl(const std::string& baseFile, const std::string& url);
