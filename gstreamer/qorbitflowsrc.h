// qorbitflowsrc: a live source of the frames of one frame-grabber board.
#ifndef QOR_GST_QORBITFLOWSRC_H
#define QOR_GST_QORBITFLOWSRC_H

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define QOR_TYPE_BITFLOW_SRC (qor_bitflow_src_get_type())
G_DECLARE_FINAL_TYPE(QorBitflowSrc, qor_bitflow_src, QOR, BITFLOW_SRC, GstPushSrc)

G_END_DECLS

#endif
