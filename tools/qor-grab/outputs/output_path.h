// Readying an --out path before the board opens: what an earlier run left
// there is kept unless the user asked to replace it, and the folders the
// path needs are made.
#ifndef QOR_GRAB_OUTPUT_PATH_H
#define QOR_GRAB_OUTPUT_PATH_H

#include <string>

namespace qorgrab {

// For a stack (see isStackPath), refuses an existing file unless
// `overwrite`, and creates its parent folders; for a folder, refuses one
// that already holds frame files unless `overwrite` (which then removes
// them, so that the folder holds this run's frames only), and creates it.
// Throws ToolFailure, naming the path, when it cannot or may not.
void prepareOutputPath(const std::string &out, bool overwrite);

}  // namespace qorgrab

#endif
