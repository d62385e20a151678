// Loading the Script engine module (script_engine.h) when a scene needs it.
#pragma once

#include <memory>

#include "rendermodule/script_engine.h"

// A new engine from the module orvane-script.so: the file $ORVANE_SCRIPT_MODULE
// names when it is set (tests), else lib/orvane/orvane-script.so beside the
// executable's bin folder (the install tree) when it is there, else the module
// of the build tree the program was built in. Null, after one message through
// the message sink naming the reason (the dynamic loader's own text when the
// file is missing or one of its symbols cannot be bound), when it cannot be had.
std::unique_ptr<IScriptEngine> LoadScriptEngine();
