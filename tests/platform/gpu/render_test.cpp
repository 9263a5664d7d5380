// Drawing through translated shaders: each Direct3D convention the device keeps, checked
// by rendering off-screen and reading the pixels back.

#include "gpu_fixture.hpp"

#include <cstdlib>

using namespace gputest;

TEST_F(GpuRender, HalfPixelConventionMapsTexelsToPixelsExactly)
{
  uint32_t texels[64];
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++)
      texels[y * 8 + x] = Texel(x, y);
  Texture *t = MakeTexture(FMT_A8R8G8B8, texels);
  UseShaders(PassThroughVS(), TexturePS());
  Dev->SetTexture(0, t);
  Dev->SetSamplerState(0, SAMP_MINFILTER, TEXF_LINEAR);
  Dev->SetSamplerState(0, SAMP_MAGFILTER, TEXF_LINEAR);
  Dev->SetSamplerState(0, SAMP_ADDRESSU, TADDRESS_CLAMP);
  Dev->SetSamplerState(0, SAMP_ADDRESSV, TADDRESS_CLAMP);
  // moved half a pixel left and up: even linear filtering gives each texel exactly
  DrawQuad(-1 - 1.0f / 8, 1 + 1.0f / 8, 1 - 1.0f / 8, -1 + 1.0f / 8);
  std::vector<uint32_t> px = Read(Target);
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++)
      ASSERT_TRUE(Near(px[size_t(y) * 8 + x], Texel(x, y))) << x << "," << y;
  // without the shift each pixel centre falls on a texel corner: pixel (3, 3) is a blend of
  // texels 2 and 3 in both directions
  DrawQuad(-1, 1, 1, -1);
  px = Read(Target);
  uint32_t a = Texel(2, 2), b = Texel(3, 2), c = Texel(2, 3), d = Texel(3, 3);
  uint32_t mix = 0;
  for (int s = 0; s < 32; s += 8)
    mix |= uint32_t((Channel(a, s) + Channel(b, s) + Channel(c, s) + Channel(d, s) + 2) / 4) << s;
  EXPECT_TRUE(Near(px[3 * 8 + 3], mix, 2));
  t->Release();
}

TEST_F(GpuRender, RenderToTextureKeepsRowZeroAtTheTop)
{
  UseShaders(PassThroughVS(), ColorPS());
  // top half red (clip y above 0), bottom half blue
  DrawQuad(-1, 1, 1, 0, 0xFFFF0000u);
  DrawQuad(-1, 0, 1, -1, 0xFF0000FFu);
  std::vector<uint32_t> px = Read(Target);
  ExpectPixels(px, {{0, 0xFFFF0000u}, {3 * 8 + 7, 0xFFFF0000u}, {4 * 8, 0xFF0000FFu}, {63, 0xFF0000FFu}});

  // the texture sampled at v = 0 is its row 0: draw it onto a second target, upper
  // quarter of the picture only
  Texture *second = MakeTarget(8, 8);
  Bind(second);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
  UseShaders(PassThroughVS(), TexturePS());
  Dev->SetTexture(0, Target);
  DrawQuad(-1 - 1.0f / 8, 1 + 1.0f / 8, 1 - 1.0f / 8, 0.5f + 1.0f / 8, 0xFFFFFFFFu, 0.5f, 0, 0, 1, 0.25f);
  px = Read(second);
  ExpectPixels(px, {{0, 0xFFFF0000u}, {1 * 8 + 4, 0xFFFF0000u}, {2 * 8, 0xFF00FF00u}});
  Dev->SetTexture(0, nullptr);
  Bind(Target);
  second->Release();
}

TEST_F(GpuRender, CullsByDirect3DWinding)
{
  UseShaders(PassThroughVS(), ColorPS());
  // clockwise on screen (top-left, top-right, bottom-left) and its reverse
  Vertex cw[3] = {{-1, 1, 0.5f, 1, 0, 0, 0, 0, 0xFFFF0000u}, {1, 1, 0.5f, 1, 0, 0, 0, 0, 0xFFFF0000u},
                  {-1, -1, 0.5f, 1, 0, 0, 0, 0, 0xFFFF0000u}};
  Vertex ccw[3] = {cw[0], cw[2], cw[1]};
  for (Vertex &v : ccw)
    v.Color = 0xFF00FF00u;
  struct Case { uint32_t Cull; bool DrawsCW, DrawsCCW; };
  for (Case c : {Case{CULL_CCW, true, false}, Case{CULL_CW, false, true}, Case{CULL_NONE, true, true}})
  {
    Dev->SetRenderState(RS_CULLMODE, c.Cull);
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    Draw(cw, 3);
    EXPECT_EQ(Read(Target)[0] == 0xFFFF0000u, c.DrawsCW) << "cull " << c.Cull;
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    Draw(ccw, 3);
    EXPECT_EQ(Read(Target)[0] == 0xFF00FF00u, c.DrawsCCW) << "cull " << c.Cull;
  }
}

TEST_F(GpuRender, DepthRunsFromZeroAtZToOneAtW)
{
  Surface *ds = nullptr;
  ASSERT_EQ(Dev->CreateDepthStencilSurface(8, 8, FMT_D24S8, MULTISAMPLE_NONE, 0, false, &ds), RES_OK);
  Dev->SetDepthStencilSurface(ds);
  Dev->SetRenderState(RS_ZENABLE, ZB_TRUE);
  UseShaders(PassThroughVS(), ColorPS());
  auto drawsAt = [&](float clearZ, uint32_t func, float z, float w) {
    Dev->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, 0xFF000000u, clearZ, 0);
    Dev->SetRenderState(RS_ZFUNC, func);
    Vertex v[6];
    QuadVertices(v, -1, 1, 1, -1, 0, 0, 1, 1, 0xFFFFFFFFu, z);
    for (Vertex &x : v)
    {
      x.X *= w;
      x.Y *= w;
      x.W = w;
    }
    Draw(v, 6);
    return Read(Target)[27] == 0xFFFFFFFFu;
  };
  // z = 0 is the near plane at depth 0, z = w the far plane at depth 1
  EXPECT_TRUE(drawsAt(0.0f, CMP_LESSEQUAL, 0.0f, 1.0f));
  EXPECT_FALSE(drawsAt(0.0f, CMP_LESS, 0.0f, 1.0f));
  EXPECT_TRUE(drawsAt(1.0f, CMP_LESSEQUAL, 2.0f, 2.0f));
  EXPECT_FALSE(drawsAt(1.0f, CMP_LESS, 2.0f, 2.0f));
  // a quarter of the way is depth 0.25, not GL's 0.625
  EXPECT_TRUE(drawsAt(0.3f, CMP_LESS, 0.25f, 1.0f));
  EXPECT_FALSE(drawsAt(0.2f, CMP_LESS, 0.25f, 1.0f));
  // depth writes land where the test says, and ZWRITEENABLE 0 keeps the buffer
  Dev->Clear(0, nullptr, CLEAR_TARGET | CLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
  Dev->SetRenderState(RS_ZFUNC, CMP_LESS);
  DrawQuad(-1, 1, 1, -1, 0xFF00FF00u, 0.5f);
  DrawQuad(-1, 1, 1, -1, 0xFFFF0000u, 0.6f);
  EXPECT_EQ(Read(Target)[10], 0xFF00FF00u);
  Dev->SetRenderState(RS_ZWRITEENABLE, 0);
  DrawQuad(-1, 1, 1, -1, 0xFF0000FFu, 0.1f);
  DrawQuad(-1, 1, 1, -1, 0xFFFFFF00u, 0.2f);
  EXPECT_EQ(Read(Target)[10], 0xFFFFFF00u);
  Dev->SetDepthStencilSurface(nullptr);
  ds->Release();
}

TEST_F(GpuRender, SeparateAlphaBlendKeepsTheTargetsAlpha)
{
  UseShaders(PassThroughVS(), ColorPS());
  Dev->SetRenderState(RS_ALPHABLENDENABLE, 1);
  Dev->SetRenderState(RS_SRCBLEND, BLEND_ONE);
  Dev->SetRenderState(RS_DESTBLEND, BLEND_ZERO);
  Dev->SetRenderState(RS_SEPARATEALPHABLENDENABLE, 1);
  Dev->SetRenderState(RS_SRCBLENDALPHA, BLEND_ZERO);
  Dev->SetRenderState(RS_DESTBLENDALPHA, BLEND_ONE);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0x33000000u, 1.0f, 0);
  DrawQuad(-1, 1, 1, -1, 0xFF102030u);
  EXPECT_TRUE(Near(Read(Target)[18], 0x33102030u));
}

TEST_F(GpuRender, FormatsSampleWithTheirChannels)
{
  // A8R8G8B8 in memory: B, G, R, A
  uint8_t argb[64 * 4];
  for (int i = 0; i < 64; i++)
  {
    argb[i * 4 + 0] = 0x10;
    argb[i * 4 + 1] = 0x20;
    argb[i * 4 + 2] = 0x30;
    argb[i * 4 + 3] = 0x40;
  }
  Texture *t = MakeTexture(FMT_A8R8G8B8, argb);
  EXPECT_EQ(Show(t)[5], 0x40302010u);
  t->Release();

  struct Case { Format Fmt; std::vector<uint8_t> Texel; uint32_t Want; int Tolerance; };
  auto half = [](float f) { return std::vector<uint8_t>{uint8_t(Half(f) & 255), uint8_t(Half(f) >> 8)}; };
  std::vector<uint8_t> r16f = half(0.5f);
  std::vector<uint8_t> g16r16f = half(0.25f);
  std::vector<uint8_t> g = half(0.75f);
  g16r16f.insert(g16r16f.end(), g.begin(), g.end());
  float r32 = 0.25f;
  std::vector<uint8_t> r32f(4);
  std::memcpy(r32f.data(), &r32, 4);
  const Case cases[] = {
    {FMT_A8, {0x80}, 0x80FFFFFFu, 0},          // colour channels it lacks read 1
    {FMT_L8, {0x60}, 0xFF606060u, 0},          // luminance in r, g and b
    {FMT_A8L8, {0x60, 0x90}, 0x90606060u, 0},  // luminance then alpha
    {FMT_A4L4, {0x9A}, 0x99AAAAAAu, 0},
    {FMT_R16F, r16f, 0xFF80FFFFu, 1},          // reads as (r, 1, 1, 1)
    {FMT_G16R16F, g16r16f, 0xFF40BFFFu, 1},
    {FMT_R32F, r32f, 0xFF40FFFFu, 1},
    {FMT_R5G6B5, {0x1F, 0xF8}, 0xFFFF00FFu, 0},  // 0xF81F: red and blue full
    {FMT_A1R5G5B5, {0x00, 0x7C}, 0x00FF0000u, 8},
    {FMT_A4R4G4B4, {0x4F, 0x8C}, 0x88CC44FFu, 0},
    {FMT_G16R16, {0x00, 0x00, 0xFF, 0xFF}, 0xFF00FFFFu, 0},
  };
  for (const Case &c : cases)
  {
    std::vector<uint8_t> data;
    for (int i = 0; i < 64; i++)
      data.insert(data.end(), c.Texel.begin(), c.Texel.end());
    Texture *tex = MakeTexture(c.Fmt, data.data());
    ASSERT_NE(tex, nullptr);
    Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    EXPECT_TRUE(Near(Show(tex)[20], c.Want, c.Tolerance)) << "format " << c.Fmt;
    Dev->SetTexture(0, nullptr);
    tex->Release();
  }
}

TEST_F(GpuRender, CubeTexturesSampleByDirection)
{
  CubeTexture *cube = nullptr;
  ASSERT_EQ(Dev->CreateCubeTexture(4, 1, 0, FMT_A8R8G8B8, POOL_MANAGED, &cube), RES_OK);
  const uint32_t colors[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
  for (int f = 0; f < 6; f++)
  {
    LockedRect lr;
    ASSERT_EQ(cube->LockRect(CubeFace(f), 0, lr, nullptr, 0), RES_OK);
    for (int i = 0; i < 16; i++)
      static_cast<uint32_t *>(lr.Bits)[(i / 4) * (lr.Pitch / 4) + i % 4] = colors[f];
    ASSERT_EQ(cube->UnlockRect(CubeFace(f), 0), RES_OK);
  }
  UseShaders(PassThroughVS(), TexturePS(3));
  Dev->SetTexture(0, cube);
  const float dirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int f = 0; f < 6; f++)
  {
    Vertex v[6];
    QuadVertices(v, -1, 1, 1, -1, 0, 0, 0, 0, 0);
    for (Vertex &x : v)
    {
      x.U = dirs[f][0];
      x.V = dirs[f][1];
      x.S = dirs[f][2];
    }
    Draw(v, 6);
    EXPECT_EQ(Read(Target)[12], colors[f]) << "face " << f;
  }
  // a face of a render-target cube is a target of its own
  CubeTexture *rtCube = nullptr;
  ASSERT_EQ(Dev->CreateCubeTexture(8, 1, USAGE_RENDERTARGET, FMT_A8R8G8B8, POOL_DEFAULT, &rtCube), RES_OK);
  Surface *face = nullptr;
  ASSERT_EQ(rtCube->GetCubeMapSurface(FACE_NEGATIVE_Z, 0, &face), RES_OK);
  ASSERT_EQ(Dev->ColorFill(face, nullptr, 0xFF123456u), RES_OK);
  EXPECT_EQ(Read(face)[0], 0xFF123456u);
  Surface *none = face;
  EXPECT_EQ(rtCube->GetCubeMapSurface(CubeFace(6), 0, &none), ERR_INVALIDCALL);
  EXPECT_EQ(none, nullptr);
  Dev->SetTexture(0, nullptr);
  face->Release();
  rtCube->Release();
  cube->Release();
}

TEST_F(GpuRender, MultisampledDrawAndResolve)
{
  Surface *ms = nullptr, *plain = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONMASKABLE, 1, false, &ms), RES_OK);
  SurfaceDesc d;
  ms->GetDesc(d);
  EXPECT_EQ(d.MultiSample, MULTISAMPLE_NONMASKABLE);
  ASSERT_EQ(Dev->CreateRenderTarget(8, 8, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &plain), RES_OK);
  ASSERT_EQ(Dev->SetRenderTarget(0, ms), RES_OK);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  UseShaders(PassThroughVS(), ColorPS());
  // a triangle over the diagonal: pixels it cuts get partial coverage
  Vertex tri[3] = {{-1, 1, 0.5f, 1, 0, 0, 0, 0, ~0u}, {1, 1, 0.5f, 1, 0, 0, 0, 0, ~0u}, {-1, -1, 0.5f, 1, 0, 0, 0, 0, ~0u}};
  Draw(tri, 3);
  ASSERT_EQ(Dev->StretchRect(ms, nullptr, plain, nullptr, TEXF_NONE), RES_OK);
  std::vector<uint32_t> px = Read(plain);
  // pixel (0, 0) reaches half a pixel beyond the triangle: only part of its samples are in
  ExpectPixels(px, {{1 * 8 + 1, 0xFFFFFFFFu}, {63, 0xFF000000u}});
  int partial = 0;
  for (uint32_t p : px)
  {
    int g = Channel(p, 8);
    partial += g > 0 && g < 255;
  }
  EXPECT_GE(partial, 4);
  // the same on a plain target has no partial pixels
  Bind(Target);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  Draw(tri, 3);
  partial = 0;
  for (uint32_t p : Read(Target))
    partial += Channel(p, 8) > 0 && Channel(p, 8) < 255;
  EXPECT_EQ(partial, 0);
  // a resolve may change the format; the one back into 8 bits needs a target
  Surface *half = nullptr, *level = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(4, 4, FMT_A16B16G16R16F, MULTISAMPLE_NONE, 0, false, &half), RES_OK);
  Dev->ColorFill(ms, nullptr, 0xFF00FF00u);
  ASSERT_EQ(Dev->StretchRect(ms, nullptr, half, nullptr, TEXF_LINEAR), RES_OK);
  EXPECT_EQ(Dev->StretchRect(half, nullptr, nullptr, nullptr, TEXF_NONE), ERR_INVALIDCALL);
  Target->GetSurfaceLevel(0, &level);
  ASSERT_EQ(Dev->StretchRect(half, nullptr, level, nullptr, TEXF_NONE), RES_OK);
  EXPECT_EQ(Read(Target)[27], 0xFF00FF00u);
  level->Release();
  half->Release();
  ms->Release();
  plain->Release();
}

TEST_F(GpuRender, InstancedDrawWithPerInstanceData)
{
  UseShaders(InstanceVS(), ColorPS());
  const VertexElement elements[] = {
    {0, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_POSITION, 0},
    {1, 0, DECLTYPE_FLOAT4, 0, DECLUSAGE_TEXCOORD, 5},
    {1, 16, DECLTYPE_FLOAT4, 0, DECLUSAGE_TEXCOORD, 6},
    DECL_END,
  };
  VertexDeclaration *decl = nullptr;
  ASSERT_EQ(Dev->CreateVertexDeclaration(elements, &decl), RES_OK);
  Dev->SetVertexDeclaration(decl);
  // a quad in the top-left quarter, then moved per instance
  const float quad[4][4] = {{-1, 1, 0.5f, 1}, {0, 1, 0.5f, 1}, {0, 0, 0.5f, 1}, {-1, 0, 0.5f, 1}};
  const float inst[3][8] = {{0, 0, 0, 0, 1, 0, 0, 1}, {1, -1, 0, 0, 0, 1, 0, 1}, {1, 0, 0, 0, 0, 0, 1, 1}};
  const uint16_t idx[6] = {0, 1, 3, 3, 1, 2};
  VertexBuffer *vb0 = nullptr, *vb1 = nullptr;
  IndexBuffer *ib = nullptr;
  ASSERT_EQ(Dev->CreateVertexBuffer(sizeof(quad) + 64, 0, POOL_MANAGED, &vb0), RES_OK);
  ASSERT_EQ(Dev->CreateVertexBuffer(sizeof(inst), 0, POOL_MANAGED, &vb1), RES_OK);
  ASSERT_EQ(Dev->CreateIndexBuffer(sizeof(idx) + 4, 0, FMT_INDEX16, POOL_MANAGED, &ib), RES_OK);
  void *p;
  // the quad's vertices start one vertex in: the base vertex skips it
  vb0->Lock(16, sizeof(quad), &p, 0);
  std::memcpy(p, quad, sizeof(quad));
  vb0->Unlock();
  vb1->Lock(0, 0, &p, 0);
  std::memcpy(p, inst, sizeof(inst));
  vb1->Unlock();
  ib->Lock(4, sizeof(idx), &p, 0);
  std::memcpy(p, idx, sizeof(idx));
  ib->Unlock();
  Dev->SetStreamSource(0, vb0, 0, 16);
  Dev->SetStreamSource(1, vb1, 0, 32);
  Dev->SetIndices(ib);
  ASSERT_EQ(Dev->SetStreamSourceFreq(0, STREAMSOURCE_INDEXEDDATA | 3), RES_OK);
  ASSERT_EQ(Dev->SetStreamSourceFreq(1, STREAMSOURCE_INSTANCEDATA | 1), RES_OK);
  ASSERT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, 1, 0, 4, 2, 2), RES_OK) << Dev->LastShaderError();
  std::vector<uint32_t> px = Read(Target);
  // instance 0 top left, 1 bottom right, 2 top right, nothing bottom left
  ExpectPixels(px, {{1 * 8 + 1, 0xFFFF0000u}, {6 * 8 + 6, 0xFF00FF00u}, {1 * 8 + 6, 0xFF0000FFu}, {6 * 8 + 1, 0xFF000000u}});
  // with the frequencies reset, a draw has one instance
  Dev->SetStreamSourceFreq(0, 1);
  Dev->SetStreamSourceFreq(1, 1);
  Dev->SetStreamSource(1, vb1, 0, 0);  // stride 0: every vertex reads instance 0's data
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  ASSERT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, 1, 0, 4, 2, 2), RES_OK);
  px = Read(Target);
  ExpectPixels(px, {{1 * 8 + 1, 0xFFFF0000u}, {1 * 8 + 6, 0xFF000000u}, {6 * 8 + 6, 0xFF000000u}});
  Dev->SetStreamSource(1, nullptr, 0, 0);
  Dev->SetIndices(nullptr);
  vb0->Release();
  vb1->Release();
  ib->Release();
  decl->Release();
}

TEST_F(GpuRender, DrawsReadingBeyondTheirBuffersAreRefused)
{
  UseShaders(PassThroughVS(), ColorPS());
  DrawQuad(-1, 1, 1, -1, 0xFFFFFFFFu);  // fills the shared buffer's first six vertices
  // the buffer holds 1024 vertices
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 1020, 1), RES_OK);
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 1022, 1), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLESTRIP, 0, 1023), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->DrawPrimitive(PrimitiveType(9), 0, 1), ERR_INVALIDCALL);
  // the stream offset counts too
  Dev->SetStreamSource(0, VB, sizeof(Vertex) * 1020, sizeof(Vertex));
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 1, 1), RES_OK);  // vertices 1021..1023
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 2, 1), ERR_INVALIDCALL);
  IndexBuffer *ib = nullptr;
  ASSERT_EQ(Dev->CreateIndexBuffer(12, 0, FMT_INDEX16, POOL_MANAGED, &ib), RES_OK);
  Dev->SetIndices(ib);
  Dev->SetStreamSource(0, VB, 0, sizeof(Vertex));
  EXPECT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, 0, 0, 6, 0, 2), RES_OK);
  EXPECT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, 1000, 0, 30, 0, 2), ERR_INVALIDCALL);
  EXPECT_EQ(Dev->DrawIndexedPrimitive(PT_TRIANGLELIST, -5, 2, 6, 0, 2), ERR_INVALIDCALL);
  Dev->SetIndices(nullptr);
  ib->Release();
}

TEST(GpuLifetime, DeviceOutlivesTheEntryObject)
{
  std::string error;
  Object *obj = Object::Create(error);
  ASSERT_NE(obj, nullptr) << error;
  PresentParameters pp;
  pp.BackBufferWidth = pp.BackBufferHeight = 4;
  Device *dev = nullptr;
  ASSERT_EQ(obj->CreateHeadlessDevice(pp, &dev), RES_OK);
  obj->Release();
  EXPECT_EQ(dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF010203u, 1.0f, 0), RES_OK);
  EXPECT_EQ(dev->Present(), RES_OK);
  EXPECT_EQ(dev->Release(), 0u);
}

TEST_F(GpuRender, ConstantsWrittenBetweenDrawsReachTheShader)
{
  // registers written in separate calls between draws, some far apart
  UseShaders(PassThroughVS(), ConstPS());
  SetColor(0xFF102030u);
  DrawQuad(-1, 1, 1, -1);
  EXPECT_EQ(Read(Target)[0], 0xFF102030u);
  float far[4] = {1, 1, 1, 1};
  Dev->SetPixelShaderConstantF(200, far, 1);
  SetColor(0xFF405060u);
  DrawQuad(-1, 1, 1, -1);
  EXPECT_EQ(Read(Target)[0], 0xFF405060u);
  int32_t b = 1;
  Dev->SetPixelShaderConstantB(3, &b, 1);
  SetColor(0xFF708090u);
  Dev->SetPixelShaderConstantB(0, &b, 1);
  DrawQuad(-1, 1, 1, -1);
  EXPECT_EQ(Read(Target)[0], 0xFF708090u);
}

TEST_F(GpuRender, ShortMipChainsAreComplete)
{
  // two levels of a 16 x 16 texture: a 1 x 1 picture reads the smallest level there is
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(16, 16, 2, 0, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  ASSERT_EQ(t->GetLevelCount(), 2u);
  for (uint32_t level = 0; level < 2; level++)
  {
    std::vector<uint32_t> px(256 >> (2 * level), level ? 0xFF00FF00u : 0xFFFF0000u);
    LockedRect lr;
    ASSERT_EQ(t->LockRect(level, lr, nullptr, 0), RES_OK);
    for (uint32_t y = 0; y < (16u >> level); y++)
      std::memcpy(static_cast<uint8_t *>(lr.Bits) + y * lr.Pitch, &px[y * (16u >> level)], (16u >> level) * 4);
    ASSERT_EQ(t->UnlockRect(level), RES_OK);
  }
  Surface *small = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(1, 1, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &small), RES_OK);
  Dev->SetRenderTarget(0, small);
  UseShaders(PassThroughVS(), TexturePS());
  Dev->SetTexture(0, t);
  Dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_POINT);
  DrawQuad(-3, 3, 1, -1);
  EXPECT_EQ(Read(small)[0], 0xFF00FF00u);
  // without mipmapping level 0 is read
  Dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_NONE);
  DrawQuad(-3, 3, 1, -1);
  EXPECT_EQ(Read(small)[0], 0xFFFF0000u);
  // one texel a pixel picks level 0, unless MAXMIPLEVEL keeps the sampler at level 1 and below
  Bind(Target);
  Dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_POINT);
  DrawQuad(-1, 1, 1, -1, 0xFFFFFFFFu, 0.5f, 0, 0, 0.5f, 0.5f);
  EXPECT_EQ(Read(Target)[9], 0xFFFF0000u);
  Dev->SetSamplerState(0, SAMP_MAXMIPLEVEL, 1);
  DrawQuad(-1, 1, 1, -1, 0xFFFFFFFFu, 0.5f, 0, 0, 0.5f, 0.5f);
  EXPECT_EQ(Read(Target)[9], 0xFF00FF00u);
  Dev->SetTexture(0, nullptr);
  small->Release();
  t->Release();
}

// Level 0 of an automatic-mipmap texture filled through Lock/Unlock: a picture that reads
// its smallest level shows the fill, and a later fill too, with no other call between the
// two draws than the fill (the texture on unit 1: a fill goes through unit 0).
TEST_F(GpuRender, AutomaticMipmapsFollowEachFillOfTheirFirstLevel)
{
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(16, 16, 0, USAGE_AUTOGENMIPMAP, FMT_A8R8G8B8, POOL_MANAGED, &t), RES_OK);
  Surface *small = nullptr;
  ASSERT_EQ(Dev->CreateRenderTarget(1, 1, FMT_A8R8G8B8, MULTISAMPLE_NONE, 0, false, &small), RES_OK);
  Dev->SetRenderTarget(0, small);
  UseShaders(PassThroughVS(), TexturePS(2, 1));
  Dev->SetTexture(1, t);
  Dev->SetSamplerState(1, SAMP_MIPFILTER, TEXF_POINT);
  for (uint32_t colour : {0xFFFF0000u, 0xFF0000FFu})
  {
    std::vector<uint32_t> px(16 * 16, colour);
    Fill(t, px.data(), 64, 16);
    DrawQuad(-1, 1, 1, -1);   // sixteen texels a pixel: the 1 x 1 level
    EXPECT_EQ(Read(small)[0], colour);
  }
  // point-filtered levels hold one texel of the level above, never a blend: columns of red
  // and blue give a 1 x 1 level of red or of blue
  ASSERT_EQ(t->SetAutoGenFilterType(TEXF_POINT), RES_OK);
  EXPECT_EQ(t->GetAutoGenFilterType(), uint32_t(TEXF_POINT));
  std::vector<uint32_t> stripes(16 * 16);
  for (size_t i = 0; i < stripes.size(); i++)
    stripes[i] = i % 2 ? 0xFF0000FFu : 0xFFFF0000u;
  Fill(t, stripes.data(), 64, 16);
  DrawQuad(-1, 1, 1, -1);
  const uint32_t got = Read(small)[0];
  EXPECT_TRUE(got == 0xFF0000FFu || got == 0xFFFF0000u) << std::hex << got;
  Dev->SetTexture(1, nullptr);
  small->Release();
  t->Release();
}

// A block-compressed texture 10 texels wide: its levels of 5 x 4, 2 x 2 and 1 x 1 are
// partial blocks. Each level, filled with a colour of its own, is drawn alone; then one
// level is filled again and drawn again. Both upload paths: compressed, and decoded on the
// CPU as on a driver without S3TC.
class GpuBlockLevels : public GpuRender, public testing::WithParamInterface<bool>
{
protected:
  void SetUp() override
  {
    if (GetParam())
      setenv("SPARK_GPU_NO_S3TC", "1", 1);
    GpuRender::SetUp();
    unsetenv("SPARK_GPU_NO_S3TC");
  }
};

TEST_P(GpuBlockLevels, EveryLevelOfAWidthOutsideTheBlockGridDraws)
{
  Texture *t = nullptr;
  ASSERT_EQ(Dev->CreateTexture(10, 8, 0, 0, FMT_DXT1, POOL_MANAGED, &t), RES_OK);
  ASSERT_EQ(t->GetLevelCount(), 4u);
  // a DXT1 block of one colour: both ends the colour (R5G6B5), every index 0
  auto fillLevel = [&](uint32_t level, uint16_t rgb565) {
    SurfaceDesc d;
    t->GetLevelDesc(level, d);
    LockedRect lr;
    ASSERT_EQ(t->LockRect(level, lr, nullptr, 0), RES_OK);
    EXPECT_EQ(lr.Pitch, FormatPitch(FMT_DXT1, int(d.Width)));
    for (int row = 0; row < FormatRows(FMT_DXT1, int(d.Height)); row++)
      for (int b = 0; b < lr.Pitch / 8; b++)
      {
        uint8_t *block = static_cast<uint8_t *>(lr.Bits) + row * lr.Pitch + b * 8;
        const uint8_t bytes[8] = {uint8_t(rgb565), uint8_t(rgb565 >> 8), uint8_t(rgb565), uint8_t(rgb565 >> 8), 0, 0, 0, 0};
        std::memcpy(block, bytes, 8);
      }
    ASSERT_EQ(t->UnlockRect(level), RES_OK);
  };
  const struct { uint16_t Rgb565; uint32_t Argb; } colours[] = {
    {0xF800, 0xFFFF0000u}, {0x07E0, 0xFF00FF00u}, {0x001F, 0xFF0000FFu}, {0xFFFF, 0xFFFFFFFFu}, {0xF81F, 0xFFFF00FFu}};
  for (uint32_t level = 0; level < 4; level++)
    fillLevel(level, colours[level].Rgb565);
  UseShaders(PassThroughVS(), TexturePS());
  Dev->SetTexture(0, t);
  Dev->SetSamplerState(0, SAMP_MIPFILTER, TEXF_POINT);
  // the smallest level the sampler may use, drawn magnified: that level alone
  auto drawLevel = [&](uint32_t level) {
    Dev->SetSamplerState(0, SAMP_MAXMIPLEVEL, level);
    DrawQuad(-1, 1, 1, -1, 0xFFFFFFFFu, 0.5f, 0, 0, 0.01f, 0.01f);
    return Read(Target);
  };
  for (uint32_t level = 0; level < 4; level++)
  {
    std::vector<uint32_t> px = drawLevel(level);
    EXPECT_EQ(px[0], colours[level].Argb) << "level " << level;
    EXPECT_EQ(px[63], colours[level].Argb) << "level " << level;
  }
  for (uint32_t level : {3u, 2u})
  {
    fillLevel(level, colours[4].Rgb565);
    EXPECT_EQ(drawLevel(level)[27], colours[4].Argb) << "level " << level << " filled again";
  }
  Dev->SetTexture(0, nullptr);
  t->Release();
}

INSTANTIATE_TEST_SUITE_P(Uploads, GpuBlockLevels, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &info) { return info.param ? "Decoded" : "Compressed"; });

TEST_F(GpuRender, TargetsWithoutAlphaBlendWithDestinationAlphaOne)
{
  Texture *x8 = MakeTarget(8, 8, FMT_X8R8G8B8);
  ASSERT_NE(x8, nullptr);
  Bind(x8);
  UseShaders(PassThroughVS(), ColorPS());
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0x00404040u, 1.0f, 0);
  Dev->SetRenderState(RS_ALPHABLENDENABLE, 1);
  Dev->SetRenderState(RS_SRCBLEND, BLEND_DESTALPHA);
  Dev->SetRenderState(RS_DESTBLEND, BLEND_INVDESTALPHA);
  DrawQuad(-1, 1, 1, -1, 0xFFC0C0C0u);
  EXPECT_EQ(Read(x8)[0], 0xFFC0C0C0u);
  // the same on a target with alpha uses the stored 0
  Bind(Target);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0x00404040u, 1.0f, 0);
  DrawQuad(-1, 1, 1, -1, 0xFFC0C0C0u);
  EXPECT_EQ(Read(Target)[0], 0x00404040u);
  x8->Release();
}

TEST_F(GpuRender, ShaderModel2ProgramsPairBySemantics)
{
  using namespace asm3;
  // vs_2_0: oPos = v0, oT0 = v1, oD0 = v2
  const std::vector<uint32_t> vs = {
    0xFFFE0200u,
    Ins(DCL, 2), DclUsage(USAGE_POSITION, 0), Dst(INPUT, 0),
    Ins(DCL, 2), DclUsage(USAGE_TEXCOORD, 0), Dst(INPUT, 1),
    Ins(DCL, 2), DclUsage(USAGE_COLOR, 0), Dst(INPUT, 2),
    Ins(MOV, 2), Dst(RASTOUT, 0), Src(INPUT, 0),
    Ins(MOV, 2), Dst(OUTPUT, 0), Src(INPUT, 1),
    Ins(MOV, 2), Dst(ATTROUT, 0), Src(INPUT, 2),
    0x0000FFFFu};
  // ps_2_0: oC0 = texture(t0) * v0
  const std::vector<uint32_t> ps = {
    0xFFFF0200u,
    Ins(DCL, 2), 0x80000000u, Dst(TEXTURE, 0),
    Ins(DCL, 2), 0x80000000u, Dst(INPUT, 0),
    Ins(DCL, 2), DclSampler(2), Dst(SAMPLER, 0),
    Ins(TEX, 3), Dst(TEMP, 0), Src(TEXTURE, 0), Src(SAMPLER, 0),
    Ins(MUL, 3), Dst(TEMP, 0), Src(TEMP, 0), Src(INPUT, 0),
    Ins(MOV, 2), Dst(COLOROUT, 0), Src(TEMP, 0),
    0x0000FFFFu};
  UseShaders(vs, ps);
  uint32_t texels[64];
  for (int i = 0; i < 64; i++)
    texels[i] = (i % 8) < 4 ? 0xFFFFFFFFu : 0xFF808080u;
  Texture *t = MakeTexture(FMT_A8R8G8B8, texels);
  Dev->SetTexture(0, t);
  DrawQuad(-1 - 1.0f / 8, 1 + 1.0f / 8, 1 - 1.0f / 8, -1 + 1.0f / 8, 0xFF00FFFFu);
  std::vector<uint32_t> px = Read(Target);
  EXPECT_EQ(px[8 + 1], 0xFF00FFFFu);
  EXPECT_TRUE(Near(px[8 + 6], 0xFF008080u, 1));
  Dev->SetTexture(0, nullptr);
  t->Release();
}

TEST_F(GpuRender, BuffersAppendWithNoOverwriteAndRefuseDrawsWhileLocked)
{
  UseShaders(PassThroughVS(), ColorPS());
  VertexBuffer *vb = nullptr;
  ASSERT_EQ(Dev->CreateVertexBuffer(sizeof(Vertex) * 12, USAGE_DYNAMIC | USAGE_WRITEONLY, POOL_DEFAULT, &vb), RES_OK);
  Dev->SetStreamSource(0, vb, 0, sizeof(Vertex));
  void *p = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &p, LOCK_DISCARD), RES_OK);
  QuadVertices(static_cast<Vertex *>(p), -1, 1, 0, 0, 0, 0, 1, 1, 0xFFFF0000u);  // top left
  // drawing from a buffer that is still locked is refused
  EXPECT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), ERR_INVALIDCALL);
  ASSERT_EQ(vb->Unlock(), RES_OK);
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), RES_OK);
  // the second quad is appended behind the first without waiting for the draw
  ASSERT_EQ(vb->Lock(sizeof(Vertex) * 6, sizeof(Vertex) * 6, &p, LOCK_NOOVERWRITE), RES_OK);
  QuadVertices(static_cast<Vertex *>(p), 0, 0, 1, -1, 0, 0, 1, 1, 0xFF00FF00u);  // bottom right
  ASSERT_EQ(vb->Unlock(), RES_OK);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 4), RES_OK);
  std::vector<uint32_t> px = Read(Target);
  ExpectPixels(px, {{1 * 8 + 1, 0xFFFF0000u}, {6 * 8 + 6, 0xFF00FF00u}, {1 * 8 + 6, 0xFF000000u}});
  // a discard starts over: what was there before is not kept
  ASSERT_EQ(vb->Lock(0, sizeof(Vertex) * 6, &p, LOCK_DISCARD), RES_OK);
  QuadVertices(static_cast<Vertex *>(p), 0, 1, 1, 0, 0, 0, 1, 1, 0xFF0000FFu);  // top right
  ASSERT_EQ(vb->Unlock(), RES_OK);
  Dev->Clear(0, nullptr, CLEAR_TARGET, 0xFF000000u, 1.0f, 0);
  ASSERT_EQ(Dev->DrawPrimitive(PT_TRIANGLELIST, 0, 2), RES_OK);
  EXPECT_EQ(Read(Target)[1 * 8 + 6], 0xFF0000FFu);
  // a plain lock keeps the content and can read it
  ASSERT_EQ(vb->Lock(0, sizeof(Vertex), &p, 0), RES_OK);
  EXPECT_EQ(static_cast<Vertex *>(p)->Color, 0xFF0000FFu);
  ASSERT_EQ(vb->Unlock(), RES_OK);
  Dev->SetStreamSource(0, nullptr, 0, 0);
  vb->Release();
}

// A device that hands its queued draws to the rasterizer after every two triangles and
// waits for the batch before.
class GpuQueueBound : public GpuRender
{
protected:
  void SetUp() override
  {
    setenv("SPARK_GPU_QUEUE_BOUND", "2", 1);
    GpuRender::SetUp();
    unsetenv("SPARK_GPU_QUEUE_BOUND");
  }
};

TEST_F(GpuQueueBound, DrawsHandedOverInBatchesAllReachTheTarget)
{
  UseShaders(PassThroughVS(), ColorPS());
  // a column per draw, each of its own red
  for (int x = 0; x < 8; x++)
    DrawQuad(-1 + x * 0.25f, 1, -1 + (x + 1) * 0.25f, -1, 0xFF000000u | uint32_t(x * 30 + 10) << 16);
  std::vector<uint32_t> px = Read(Target);
  for (int i = 0; i < 64; i++)
    ASSERT_EQ(px[size_t(i)], 0xFF000000u | uint32_t(i % 8 * 30 + 10) << 16) << "pixel " << i;
}
