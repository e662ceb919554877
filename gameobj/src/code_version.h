// The version of the module's code, answered by every game object's
// codeVersion(); raise it to see a rebuilt module take over live objects.
#pragma once
#define GAMEOBJ_CODE_VERSION 1
