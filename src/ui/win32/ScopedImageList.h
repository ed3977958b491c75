// The owner of an image list. Image lists exist only in the Windows build, so the owner lives beside
// the dialogs rather than with the handle owners both builds share.
#pragma once

#include "src/platform/ScopedHandle.h"
#include "src/platform/Win32.h"

inline void DestroyImageList(HIMAGELIST hImages)
{
    ImageList_Destroy(hImages);
}

using CScopedImageList = CScoped<NullIsNoneTraits<HIMAGELIST, DestroyImageList>>;

// Lends the tree view the owner's list of that kind (TVSIL_NORMAL, TVSIL_STATE). A list the tree held
// before, such as the state images it makes for itself, is nobody else's: it is destroyed.
inline void LendTreeImageList(HWND hTree, const CScopedImageList& images, int nKind)
{
    CScopedImageList previous(TreeView_SetImageList(hTree, images.Get(), nKind));
    if (previous.Get() == images.Get())
        previous.Detach();
}
