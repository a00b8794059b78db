/*
 * The library's and the simulator's entry points, found at run time the way
 * a host that cannot link against import libraries finds them (LabVIEW's
 * Call Library node, MATLAB's loadlibrary, Python's ctypes).
 */
#ifndef QOR_WIN_HOST_ENTRY_POINTS_H
#define QOR_WIN_HOST_ENTRY_POINTS_H

#include <string>
#include <vector>

#include "bfsim.h"
#include "qor_bitflow.h"

#define QOR_LIBRARY_ENTRY_POINTS(X)                                                            \
    X(BF_Open) X(BF_ImageInfo) X(BF_SelectCamera) X(BF_Close) X(BF_AllocBuffer)                \
    X(BF_FreeBuffer) X(BF_Setup) X(BF_Cleanup) X(BF_AqFrameSize) X(BF_GetFrame)                \
    X(BF_FastGetFrame) X(BF_Grab) X(BF_Stop) X(BF_Wait4Frame) X(BF_Status)                     \
    X(BF_ResetAcquisition) X(BF_BufferSetup) X(BF_BufferCleanup) X(BF_Wait) X(BF_TriggerMode)  \
    X(BF_SetSWtrigger) X(BF_LoadLUT) X(BF_MaskBits) X(BF_NTGSetup) X(BF_NTGEncDiv)             \
    X(BF_GetGPOUT) X(BF_SetGPOUT) X(BF_RegPeek) X(BF_RegPoke) X(BF_RegNametoId)

#define QOR_SIMULATOR_ENTRY_POINTS(X)                                                          \
    X(bfsim_reset) X(bfsim_load_config) X(bfsim_live_count) X(bfsim_fire_external_trigger)        \
    X(bfsim_check_frame)

#define QOR_DECLARE_POINTER(name) decltype(&::name) name = nullptr;

namespace winhost {

struct Library {
    QOR_LIBRARY_ENTRY_POINTS(QOR_DECLARE_POINTER)
};

struct Simulator {
    QOR_SIMULATOR_ENTRY_POINTS(QOR_DECLARE_POINTER)
};

// Loads qor_bitflow.dll (which loads Cid.dll and BFD.dll beside it) and
// finds every entry point; the names not found go to `missing`.
bool loadLibrary(Library &library, std::vector<std::string> &missing);
// Finds the simulator's control functions in the Cid.dll the library loaded.
bool loadSimulator(Simulator &simulator, std::vector<std::string> &missing);
// Unloads qor_bitflow.dll.
void unloadLibrary();

}  // namespace winhost

#endif
