// The two hosts of the second blog service and the knobs of a cross-post
// live with the session (common/session.h); the sandbox includes this header to
// know which Host headers are its doubles.
#pragma once

#include "common/session.h"
