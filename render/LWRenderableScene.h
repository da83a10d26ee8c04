// A LightWave scene made drawable: the scene library parses the ".lws" text; this keeps its object
// items with their meshes (one ".t3o" file per object file and layer), its cameras by name, the first
// light as the scene light, the backdrop and ambient colours. It moves every item by its motion through
// its parent chain, drives a named camera and the light, and draws the items pass by pass with fog and
// bounding-sphere culling.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/DataLoader.h"
#include "core/Object.h"
#include "core/Stream.h"
#include "lightwave/scene/LwScene.h"
#include "platform/Graphics.h"
#include "render/Camera.h"
#include "render/DirectionalLight.h"
#include "render/LWRenderableObjectCache.h"
#include "render/TextureCache.h"

namespace trivale {
namespace type_a {

class CLWRenderableScene : public virtual CNonCopyable {
public:
    using Pass = type_a::RenderPass;

    class CSceneItem : public virtual CObject {
    public:
        ~CSceneItem() override {}
        LwSceneItem* GetItem() const { return item_; }
        const std::string& GetName() const { return name_; }
        CLWRenderableObject* GetObject() const { return object_; }
        const plat::Matrix& GetWorld() const { return world_; }    // item to scene, from its motion
        const plat::Matrix& GetPlaced() const { return placed_; }  // world x the device's world transform
        const plat::Matrix& GetView() const { return view_; }      // placed x the device's view transform

    private:
        friend class CLWRenderableScene;
        LwSceneItem* item_ = nullptr;
        std::string name_;
        CLWRenderableObject* object_ = nullptr;  // owned by the object cache; null for nulls and lights
        plat::Matrix world_ = plat::MatrixIdentity();
        plat::Matrix placed_ = plat::MatrixIdentity();
        plat::Matrix view_ = plat::MatrixIdentity();
        bool fogged_ = true;
        float lightRange_ = 0.0f;
    };

    class CSceneCamera : public virtual CObject {
    public:
        ~CSceneCamera() override {}

    private:
        friend class CLWRenderableScene;
        LwSceneItem* item_ = nullptr;
        LwSceneCamera* record_ = nullptr;
        std::string name_;
        CCamera camera_;
    };

    class CSceneLight : public virtual CObject {
    public:
        CSceneLight() { light_.SetAmbient(0.0f, 0.0f, 0.0f, 0.0f); }
        ~CSceneLight() override {}

    private:
        friend class CLWRenderableScene;
        LwSceneItem* item_ = nullptr;  // null: the scene has no light
        LwSceneLight* record_ = nullptr;
        std::string name_;
        CDirectionalLight light_;
    };

    using ItemTable = std::multimap<std::string, std::shared_ptr<CSceneItem>>;

    CLWRenderableScene();
    ~CLWRenderableScene() override;

    // ---- loading
    // A file opened directly; the objects come from the scene's directory.
    virtual void LoadFromFile(const std::string& path, CTextureCache* textureCache,
                              CLWRenderableObjectCache* objectCache);
    // The scene text from the stream's position on. Objects are requested as directory + ".t3o" name
    // through the loader, or, without one, by name from the directory itself. A null object cache makes
    // the scene keep its own. A text the scene library refuses, or without its setting records, is an
    // EInvalidFileFormat; a missing or bad object file stops the load at that item with its error.
    virtual void Load(IStream* stream, const std::string& directory, CTextureCache* textureCache, IDataLoader* loader,
                      CLWRenderableObjectCache* objectCache);
    virtual void Load(const std::string& name, CTextureCache* textureCache, CLWRenderableObjectCache* objectCache);
    virtual void Load(IDataLoader* loader, const std::string& name, CTextureCache* textureCache,
                      CLWRenderableObjectCache* objectCache);
    virtual void Unload();

    // ---- motion, camera and drawing; times are seconds, brought into the playing range once per call
    virtual void SetTime(double seconds);
    virtual void ResetTimeCache();
    virtual void ResetViewCache();
    // One pass of every item that uses it, culled against the camera (none: everything is drawn).
    virtual void RenderPass(double seconds, Pass pass, CCamera* camera);
    // The passes in the order opaque, alpha-blended, multiplicative, additive, from the default states.
    virtual void Render(double seconds, CCamera* camera);
    virtual const ItemTable& GetSceneItems();
    // The first light item as a directional light; null without one.
    virtual CDirectionalLight* GetDirectionalLight(double seconds);
    virtual CCamera* Update(double seconds, float zNear, float zFar, float aspect);
    // The named camera (the first by name when "" or unknown) placed and zoomed for the time; aspect 0
    // takes the back buffer's. Null without a camera.
    virtual CCamera* UpdateWithCamera(const std::string& name, double seconds, float zNear, float zFar, float aspect);
    virtual std::uint32_t GetBackdropColor();
    virtual double GetLength();
    virtual double GetFramesPerSecond();
    virtual void SetFrameRange(std::int32_t first, std::int32_t last);
    virtual std::int32_t GetFirstFrame();
    virtual std::int32_t GetLastFrame();

    // The time as the scene plays it: within the playing range, repeating (a reversed range repeats by
    // its negative length). An empty range does not repeat.
    double WrapTime(double seconds) const;
    const plat::ColourValue& GetAmbientColor() const { return ambientColor_; }
    bool IsLoaded() const { return scene_ != nullptr; }
    std::size_t GetCameraCount() const { return cameras_.size(); }
    // How often the item motion was evaluated since loading (once per distinct time).
    std::uint64_t GetMotionEvaluationCount() const { return motionEvaluations_; }

private:
    struct SceneFree {
        void operator()(LwScene* scene) const { FreeLwScene(&scene); }
    };

    void LoadObjectItems(const std::string& directory, CTextureCache* textureCache, IDataLoader* loader);
    void LoadCameras();
    void LoadLights();
    // M := M x the item's motion with its pivot, then each parent's, up the chain.
    void ComputeWorldMatrix(plat::Matrix& m, LwSceneItem* item, double t);
    // The same without the item's own pivot (a camera's target).
    void ComputeWorldMatrixWithoutPivot(plat::Matrix& m, LwSceneItem* item, double t);
    void MultiplyParents(plat::Matrix& m, LwSceneItem* item, double t);
    struct Moving;
    // `moving`, when given, is the item's entry below: its channels and pivot are read from there.
    plat::Matrix ItemMotion(LwSceneItem* item, double t, bool withPivot, const Moving* moving = nullptr);
    // These take a time already wrapped.
    void SetWrappedTime(double t);
    void UpdateItemMatrices(double t);
    bool ApplyFog();
    // The scene at the wrapped time, placed, with fog set; the device's world transform kept in `world`
    // for the caller to put back. Whether fog is on.
    bool PrepareToRender(double seconds, plat::Matrix& world);
    // Makes the per-frame lists below when the item table changed.
    void MakeLists();
    struct Drawable;
    // The drawable against the camera (a null camera sees all), from its mesh's sphere of the moment.
    static bool IsVisible(const Drawable& drawable, CCamera* camera);
    // The items whose mesh uses the pass, each culled in the pass.
    void RenderSceneItems(bool fog, Pass pass, CCamera* camera);

    std::unique_ptr<LwScene, SceneFree> scene_;
    // The name or path given to Load or LoadFromFile while it runs ("" for a bare stream).
    std::string loadingName_;
    CLWRenderableObjectCache* objectCache_ = nullptr;
    std::unique_ptr<CLWRenderableObjectCache> ownObjectCache_;
    std::int32_t firstFrame_ = 0;
    std::int32_t lastFrame_ = 0;
    plat::ColourValue ambientColor_;
    std::uint32_t backdropColor_ = 0;
    ItemTable items_;
    double motionTime_ = -1.0;
    bool motionValid_ = false;
    // The placement depends on the motion time and on the device's world and view transforms.
    struct PlacementKey {
        double time = -1.0;
        plat::Matrix world, view;
    };
    PlacementKey placedFor_;
    bool placementValid_ = false;
    // Every item in table order with its motion channels, and the items with a mesh with what placing,
    // culling and drawing them reads, side by side: the per-frame loops run through these short
    // contiguous lists instead of the table's nodes. Made on first use after loading.
    static const int kMotionChannels = 9;  // position, rotation (heading, pitch, bank), scale
    struct Moving {
        CSceneItem* item;
        LwSceneItem* record;
        bool direct;    // the channels below stand for the item's channel list
        bool parented;  // the item has a parent, whose motion moves it too
        double pivot[3], pivotRotation[3];
        LwEnvelope* channels[kMotionChannels];
    };
    struct Drawable {
        plat::Matrix placed;  // the item's, copied by the placement: drawing reads no item record
        CSceneItem* item;
        CLWRenderableObject* object;
        bool fogged;
        bool drawn;   // in the pass being drawn: the mesh takes part in it and the camera sees the item
        float scale;  // how much the item's world transform widens its mesh's sphere, by the placement
    };
    std::vector<Moving> moving_;
    std::vector<Drawable> drawables_;
    bool listsValid_ = false;
    std::map<std::string, std::shared_ptr<CSceneCamera>> cameras_;
    CSceneLight light_;
    std::uint64_t motionEvaluations_ = 0;
};

}  // namespace type_a
}  // namespace trivale
