// The properties of qorbitflowsrc: their parameter definitions, and reading and writing
// them under the object lock.
#ifndef QOR_GST_SOURCE_PROPERTIES_H
#define QOR_GST_SOURCE_PROPERTIES_H

#include <glib-object.h>

namespace qorgst {

void installProperties(GObjectClass *gobject);
void setProperty(GObject *object, guint id, const GValue *value, GParamSpec *pspec);
void getProperty(GObject *object, guint id, GValue *value, GParamSpec *pspec);

}  // namespace qorgst

#endif
