// CTexture: turns the picture last loaded into a CPicture into a retained-mode
// texture, through a surface of 4-byte pixels stretched to powers of two.
#pragma once

#include "picture/picture.h"
#include "rendermodule/render_ddraw.h"

class CTexture {
  public:
    virtual ~CTexture() = default;

    void SetPicture(const CPicture* picture) { m_picture = picture; }
    void SetD3DRM(rm::RetainedMode* rm) { m_rm = rm; }
    void SetDDrawObj(const CDDrawObj* ddraw) { m_ddraw = ddraw; }

    // A new texture (the caller owns the reference), or null when the picture,
    // the retained-mode object or the surface maker is not set, or the picture
    // holds no image.
    rm::Texture* MakeTexture() const;

    // The side a texture gets for a picture side: itself when it is a power of
    // two from 1 to 2048, else the next power of two, at most 2048.
    static int TextureSide(int side);

  private:
    const CPicture* m_picture = nullptr;
    rm::RetainedMode* m_rm = nullptr;
    const CDDrawObj* m_ddraw = nullptr;
};
