#pragma once

// The version of this build (the project's) and the git commit it was built
// from ("unknown" outside a git checkout).
const char* tembraVersion();
const char* tembraCommit();
