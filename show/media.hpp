#pragma once
// Media helpers of the show: file kinds by extension, pictures, folder trees, movie frames
// drawn into render targets, and drawing one texture into another or the screen into a
// texture. The GUI and the IPP machine use them. Main thread only (the folder operations
// may run on the GUI's media loader thread too: they touch no shared state).

#include "base/types.hpp"

class sImage;
class sMoviePlayer;
class sTexture2D;

// By the text after the last '.', case ignored: "pic", "tga", "bmp", "jpg", "tif", "gif",
// "png" are pictures; "avi", "mov", "mp4", "mkv" are movies.
sBool IsImageFile(const sChar *name);
sBool IsMovieFile(const sChar *name);

// The picture of a file (owned by the caller), or null.
sImage *LoadPicture(const sChar *name);

// Joins a folder and a name with exactly one '/' between them (none when the folder is
// empty). A path that would not fit is refused: 0, and dest is left empty, since a cut
// path names some other file.
sBool JoinPath(const sStringRef &dest, const sChar *folder, const sChar *name);

// Copies a folder with everything below it (read-only files only with copyReadOnly);
// folders first, then the files. Links are never followed: none is copied, and a link
// (or a file) in the destination where a folder goes takes nothing. Existing files are
// kept, never written over. 1 when everything was copied, 0 when anything was left out.
sInt CopyDirectoryTree(const sChar *source, const sChar *destination, sInt copyReadOnly);
// Removes everything below the folder, deepest entries first, then the folder itself;
// returns the result of removing the folder (nonzero on success).
sInt DeleteDirectoryTree(const sChar *folder);

// A render target of the movie's frame size (mipmapped, drawn into by RenderMovieFrame),
// or null while the size is not known yet: callers ask again later.
sTexture2D *CreateMovieTarget(sMoviePlayer *player);
// Draws the movie's current frame over the whole of target (no clear), when it has one,
// then binds the screen again; aspect receives the movie's aspect in any case.
void RenderMovieFrame(sMoviePlayer *player, sTexture2D *target, sF32 *aspect, sInt screen);

// Draws texture over the whole of target (no clear), then binds the screen again.
void DrawTextureToTarget(sTexture2D *texture, sTexture2D *target, sInt screen);
// Copies the colour buffer of the screen into the texture, whole rectangles, filtered.
void CopyScreenToTexture(sTexture2D *texture, sInt screen);
