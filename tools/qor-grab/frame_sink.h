// Where acquired frames go: numbered PGM files in --out, or nowhere.
#ifndef QOR_GRAB_FRAME_SINK_H
#define QOR_GRAB_FRAME_SINK_H

#include <cstdint>
#include <string>

#include "pgm_writer.h"

namespace qorgrab {

class FrameSink {
public:
    // Creates `directory` (and its parents) if missing; empty: write nothing.
    explicit FrameSink(const std::string &directory);

    bool writes() const { return !directory_.empty(); }
    // Writes frame `index` as DIR/frame_NNNNNN.pgm, if the sink writes.
    void put(uint64_t index, const FrameView &frame) const;
    std::string pathFor(uint64_t index) const;

private:
    std::string directory_;
};

}  // namespace qorgrab

#endif
