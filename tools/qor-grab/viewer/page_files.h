// The files of the viewer's page, built into the program (a source generated
// from viewer/page/ at build time).
#ifndef QOR_GRAB_PAGE_FILES_H
#define QOR_GRAB_PAGE_FILES_H

#include <cstddef>

namespace qorgrab {

struct PageFile {
    const char *path;  // as the browser asks for it, "/viewer.js"
    const char *type;  // its Content-Type
    const unsigned char *bytes;
    size_t size;
};

// Every file of the page; `*count` is set to how many.
const PageFile *pageFiles(size_t *count);

}  // namespace qorgrab

#endif
