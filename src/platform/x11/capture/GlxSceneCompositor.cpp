#include "platform/x11/capture/GlxSceneCompositor.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <span>

#include "core/Log.h"
#include "platform/gl/GlProgram.h"
#include "platform/x11/capture/SceneGeometry.h"
#include "platform/x11/capture/ShmImageReader.h"

// Xlib and GLX last: their macros (None, Bool, Status) trip up the Qt headers.
#include "platform/gl/GlApi.h"

#include <GL/glx.h>
#include <GL/glxext.h>

#include "platform/x11/capture/GlxPixmapConfigs.h"
#include "platform/x11/connection/XlibErrorTrap.h"

namespace glimmora {
namespace {

// At least this much shared memory for copies, so that a wide window is read in a few pieces.
constexpr size_t kSmallestCopySegment = 4u << 20;

PFNGLXBINDTEXIMAGEEXTPROC bindTexImage() {
    static const auto function = reinterpret_cast<PFNGLXBINDTEXIMAGEEXTPROC>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXBindTexImageEXT")));
    return function;
}

PFNGLXRELEASETEXIMAGEEXTPROC releaseTexImage() {
    static const auto function = reinterpret_cast<PFNGLXRELEASETEXIMAGEEXTPROC>(
        glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXReleaseTexImageEXT")));
    return function;
}

GLuint newPixmapTexture() {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    // Drawn one pixel to one pixel; repeating tiles a wallpaper smaller than the picture.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return texture;
}

/// The GL state a composition changes, put back afterwards: the draw loop and Qt go on from it.
class SavedGlState {
public:
    SavedGlState() {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer_);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer_);
        glGetIntegerv(GL_VIEWPORT, viewport_);
        glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray_);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer_);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
        glActiveTexture(GL_TEXTURE0);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture_);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour_);
        blend_ = glIsEnabled(GL_BLEND);
        scissor_ = glIsEnabled(GL_SCISSOR_TEST);
    }
    ~SavedGlState() {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer_));
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer_));
        glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
        glUseProgram(static_cast<GLuint>(program_));
        glBindVertexArray(static_cast<GLuint>(vertexArray_));
        glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer_));
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture_));
        glActiveTexture(static_cast<GLenum>(activeTexture_));
        glClearColor(clearColour_[0], clearColour_[1], clearColour_[2], clearColour_[3]);
        blend_ ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
        scissor_ ? glEnable(GL_SCISSOR_TEST) : glDisable(GL_SCISSOR_TEST);
    }
    SavedGlState(const SavedGlState&) = delete;
    SavedGlState& operator=(const SavedGlState&) = delete;

private:
    GLint drawFramebuffer_ = 0;
    GLint readFramebuffer_ = 0;
    GLint viewport_[4] = {};
    GLint program_ = 0;
    GLint vertexArray_ = 0;
    GLint arrayBuffer_ = 0;
    GLint activeTexture_ = GL_TEXTURE0;
    GLint texture_ = 0;
    GLfloat clearColour_[4] = {};
    GLboolean blend_ = GL_FALSE;
    GLboolean scissor_ = GL_FALSE;
};

}  // namespace

std::unique_ptr<GlxSceneCompositor> GlxSceneCompositor::forApplication() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || x11->display() == nullptr || x11->connection() == nullptr) {
        return nullptr;
    }
    return std::make_unique<GlxSceneCompositor>(x11->display(), x11->connection());
}

GlxSceneCompositor::GlxSceneCompositor(Display* display, xcb_connection_t* connection)
    : display_(display),
      connection_(connection),
      configs_(std::make_unique<GlxPixmapConfigs>(
          display, connection, display != nullptr ? DefaultScreen(display) : 0)) {}

GlxSceneCompositor::~GlxSceneCompositor() {
    if (!ready_) {
        return;
    }
    {
        const XlibErrorTrap trap(display_);
        for (auto& [pixmap, texture] : textures_) {
            release(texture);
        }
    }
    textures_.clear();
    glDeleteProgram(program_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteBuffers(1, &vertexBuffer_);
    glDeleteFramebuffers(1, &framebuffer_);
}

bool GlxSceneCompositor::canBindPixmaps() const {
    return configs_->canBindPixmaps() && bindTexImage() != nullptr && releaseTexImage() != nullptr;
}

bool GlxSceneCompositor::initialize() {
    if (ready_) {
        return true;
    }
    if (!canBindPixmaps() || glXGetCurrentContext() == nullptr ||
        glXGetCurrentDisplay() != display_) {
        return false;
    }
    if (!buildProgram()) {
        return false;
    }
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    glGenFramebuffers(1, &framebuffer_);
    GLint previousVertexArray = 0;
    GLint previousBuffer = 0;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &previousVertexArray);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glBindVertexArray(vertexArray_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    constexpr GLsizei stride = sizeof(SceneVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(SceneVertex, s)));
    glBindVertexArray(static_cast<GLuint>(previousVertexArray));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBuffer));
    for (const int depth : {24, 32}) {
        probes_[depth] = probeLayout(depth);
    }
    ready_ = true;
    return true;
}

std::optional<PixmapLayoutProbe> GlxSceneCompositor::layoutProbe(int depth) const {
    const auto probe = probes_.find(depth);
    return probe != probes_.end() ? probe->second : std::nullopt;
}

std::optional<PixmapLayoutProbe> GlxSceneCompositor::probeLayout(int depth) {
    const GlxPixmapConfig* config = configs_->forDepth(depth);
    if (config == nullptr || config->yInverted != static_cast<int>(GLX_DONT_CARE)) {
        return std::nullopt;
    }
    // Top half red, bottom half blue; a few rows each, as a driver may round small sizes.
    constexpr int kSize = 8;
    constexpr unsigned long kTop = 0xffff0000;
    constexpr unsigned long kBottom = 0xff0000ff;
    XlibErrorTrap trap(display_);
    const unsigned long start = trap.nextSerial();
    const Pixmap pixmap = XCreatePixmap(display_, DefaultRootWindow(display_), kSize, kSize,
                                        static_cast<unsigned>(depth));
    const GC gc = XCreateGC(display_, pixmap, 0, nullptr);
    XSetForeground(display_, gc, kTop);
    XFillRectangle(display_, pixmap, gc, 0, 0, kSize, kSize / 2);
    XSetForeground(display_, gc, kBottom);
    XFillRectangle(display_, pixmap, gc, 0, kSize / 2, kSize, kSize / 2);
    XFreeGC(display_, gc);

    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    const GLuint texture = newPixmapTexture();
    const int attributes[] = {GLX_TEXTURE_TARGET_EXT, GLX_TEXTURE_2D_EXT, GLX_TEXTURE_FORMAT_EXT,
                              config->textureFormat, None};
    const GLXPixmap glxPixmap = glXCreatePixmap(display_, config->config, pixmap, attributes);
    // Nothing is bound unless all of that worked: binding a pixmap that does not exist stalls
    // some drivers.
    trap.sync();
    bool succeeded = !trap.failedBetween(start, trap.nextSerial());
    if (succeeded) {
        const unsigned long from = trap.nextSerial();
        bindTexImage()(display_, glxPixmap, GLX_FRONT_LEFT_EXT, nullptr);
        trap.sync();
        succeeded = !trap.failedBetween(from, trap.nextSerial());
    }
    std::optional<PixmapLayoutProbe> probe;
    if (succeeded) {
        std::vector<quint32> pixels(kSize * kSize);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        const quint32 first = pixels.front() & 0xffffff;  // the row at t = 0
        unsigned int said = False;
        glXQueryDrawable(display_, glxPixmap, GLX_Y_INVERTED_EXT, &said);
        if (first == (kTop & 0xffffff) || first == (kBottom & 0xffffff)) {
            probe = PixmapLayoutProbe{first == (kTop & 0xffffff), said != False};
        }
        releaseTexImage()(display_, glxPixmap, GLX_FRONT_LEFT_EXT);
    }
    glXDestroyPixmap(display_, glxPixmap);
    XFreePixmap(display_, pixmap);
    glDeleteTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    return probe;
}

bool GlxSceneCompositor::topRowFirst(int depth, unsigned long glxPixmap) const {
    const int yInverted = configs_->forDepth(depth)->yInverted;
    if (yInverted != static_cast<int>(GLX_DONT_CARE)) {
        return isTopRowFirst(yInverted != False, false, std::nullopt);
    }
    // The configuration leaves it to each pixmap: ask this one.
    unsigned int said = False;
    glXQueryDrawable(display_, glxPixmap, GLX_Y_INVERTED_EXT, &said);
    return isTopRowFirst(std::nullopt, said != False, layoutProbe(depth));
}

bool GlxSceneCompositor::buildProgram() {
    QString error;
    program_ = linkProgram(shaderResource(":/scene-shaders/sceneLayer.vert"),
                           shaderResource(":/scene-shaders/sceneLayer.frag"), &error);
    if (program_ == 0) {
        logLine(("Scene compositor error: " + error.simplified()).toStdString());
        return false;
    }
    pictureSizeLocation_ = glGetUniformLocation(program_, "pictureSize");
    const GLint layer = glGetUniformLocation(program_, "layer");
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(program_);
    glUniform1i(layer, 0);
    glUseProgram(static_cast<GLuint>(previous));
    return true;
}

bool GlxSceneCompositor::composeInto(unsigned texture, QSize size,
                                     const std::shared_ptr<const DesktopScene>& scene) {
    if (!ready_ || !scene || texture == 0 || size.isEmpty()) {
        return false;
    }
    ++composition_;
    collectItems(size, *scene);
    refreshTextures();
    const bool drawn = draw(texture, size, scene->plainColour);
    dropUnused();
    // Only now may the previous scene go, and with it the pixmaps of dropped textures.
    held_ = scene;
    return drawn;
}

void GlxSceneCompositor::collectItems(QSize size, const DesktopScene& scene) {
    items_.clear();
    const QRect picture(QPoint(0, 0), size);
    if (const std::optional<SceneWallpaper>& wallpaper = scene.wallpaper) {
        // Tiled from the root's origin: the picture's corner lies at `origin` in the tiling.
        items_.push_back({wallpaper->pixmap, 0, wallpaper->depth, wallpaper->size,
                          wallpaper->contentVersion, picture, QRect(wallpaper->origin, size),
                          nullptr});
    }
    for (const SceneLayer& layer : scene.layers) {
        if (layer.rect.isEmpty() || !layer.rect.intersects(picture)) {
            continue;
        }
        items_.push_back({layer.pixmap, layer.window, layer.depth, layer.rect.size(),
                          layer.contentVersion, layer.rect, QRect(QPoint(0, 0), layer.rect.size()),
                          nullptr});
    }
}

void GlxSceneCompositor::refreshTextures() {
    std::vector<Item*> toBind;
    std::vector<Item*> toCopy;
    for (Item& item : items_) {
        auto [entry, added] = textures_.try_emplace(item.pixmap);
        PixmapTexture& texture = entry->second;
        if (!added && (texture.depth != item.depth || texture.size != item.pixmapSize)) {
            // The id now names another pixmap (ids are reused once freed).
            const XlibErrorTrap trap(display_);
            release(texture);
            texture = PixmapTexture{};
            added = true;
        }
        texture.lastUsed = composition_;
        item.texture = &texture;
        if (added) {
            texture.depth = item.depth;
            texture.size = item.pixmapSize;
            texture.texture = newPixmapTexture();
        } else if (texture.version == item.version) {
            continue;  // nothing new since it was last bound or copied
        }
        texture.version = item.version;
        const bool bindable = added ? configs_->forDepth(item.depth) != nullptr &&
                                          !(refuseBinding_ && refuseBinding_(item.window))
                                    : texture.source == Source::Bound;
        (bindable ? toBind : toCopy).push_back(&item);
    }
    if (!toBind.empty()) {
        bind(toBind, toCopy);
    }
    for (Item* item : toCopy) {
        copy(*item);
    }
}

void GlxSceneCompositor::bind(const std::vector<Item*>& items, std::vector<Item*>& failed) {
    // A pixmap that is gone fails everything, and binding one stalls some drivers (Mesa's
    // software path) for seconds. The scene keeps its windows' pixmaps alive, but the wallpaper
    // belongs to another client, which may have freed it: look at that one first.
    std::vector<Item*> present;
    for (Item* item : items) {
        if (item->window == 0 && !exists(item->pixmap)) {
            unbind(*item->texture);
            failed.push_back(item);  // its copy fails too, quickly
        } else {
            present.push_back(item);
        }
    }

    // All requests of a step first, then one round trip: the errors tell by their serial
    // numbers which pixmaps failed. New pixmaps are made before any is bound, so that no
    // binding is tried on a GLX pixmap the server refused.
    XlibErrorTrap trap(display_);
    auto keepSucceeded = [&](std::vector<Item*>& tried, const std::vector<unsigned long>& serials) {
        trap.sync();
        std::vector<Item*> succeeded;
        for (size_t i = 0; i < tried.size(); ++i) {
            if (trap.failedBetween(serials[i], serials[i + 1])) {
                unbind(*tried[i]->texture);
                failed.push_back(tried[i]);
            } else {
                succeeded.push_back(tried[i]);
            }
        }
        tried = std::move(succeeded);
    };
    std::vector<Item*> made;
    std::vector<Item*> bound;
    std::vector<unsigned long> serials{trap.nextSerial()};
    for (Item* item : present) {
        PixmapTexture& texture = *item->texture;
        if (texture.glxPixmap != 0) {
            bound.push_back(item);
            continue;
        }
        const GlxPixmapConfig* config = configs_->forDepth(item->depth);
        const int attributes[] = {GLX_TEXTURE_TARGET_EXT, GLX_TEXTURE_2D_EXT,
                                  GLX_TEXTURE_FORMAT_EXT, config->textureFormat, None};
        texture.glxPixmap = glXCreatePixmap(display_, config->config, item->pixmap, attributes);
        made.push_back(item);
        serials.push_back(trap.nextSerial());
    }
    if (!made.empty()) {
        keepSucceeded(made, serials);
    }

    std::vector<Item*> toBind = bound;
    toBind.insert(toBind.end(), made.begin(), made.end());
    serials.assign(1, trap.nextSerial());
    for (Item* item : toBind) {
        PixmapTexture& texture = *item->texture;
        glBindTexture(GL_TEXTURE_2D, texture.texture);
        if (texture.source == Source::Bound) {
            // After damage: the binding need not show drawing made since it was bound.
            releaseTexImage()(display_, texture.glxPixmap, GLX_FRONT_LEFT_EXT);
            ++rebinds_;
        }
        bindTexImage()(display_, texture.glxPixmap, GLX_FRONT_LEFT_EXT, nullptr);
        serials.push_back(trap.nextSerial());
    }
    keepSucceeded(toBind, serials);
    for (Item* item : toBind) {
        PixmapTexture& texture = *item->texture;
        if (texture.source != Source::Bound) {
            texture.topRowFirst = topRowFirst(item->depth, texture.glxPixmap);
        }
        texture.source = Source::Bound;
    }
}

bool GlxSceneCompositor::exists(quint32 pixmap) const {
    xcb_generic_error_t* error = nullptr;
    std::free(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, pixmap), &error));
    std::free(error);
    return error == nullptr;
}

void GlxSceneCompositor::copy(Item& item) {
    PixmapTexture& texture = *item.texture;
    texture.source = Source::Absent;
    if (!reader_ && !readerFailed_) {
        QString error;
        const size_t pictureBytes =
            held_ ? static_cast<size_t>(held_->size.width()) * held_->size.height() * 4 : 0;
        reader_ = ShmImageReader::create(connection_, std::max(pictureBytes, kSmallestCopySegment),
                                         &error);
        if (!reader_) {
            readerFailed_ = true;
            logLine(("Scene compositor cannot copy windows: " + error).toStdString());
        }
    }
    if (!reader_) {
        return;
    }
    const QSize size = item.pixmapSize;
    pixels_.resize(static_cast<size_t>(size.width()) * size.height());
    const ImageRead read{item.pixmap, QRect(QPoint(0, 0), size), pixels_.data(), size.width()};
    std::vector<char> succeeded;
    reader_->read(std::span(&read, 1), succeeded);
    if (!succeeded[0]) {
        return;  // gone: left out until it changes again
    }
    glBindTexture(GL_TEXTURE_2D, texture.texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 32-bit pixels in memory order B, G, R, A, as X11 sends them; top row first.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width(), size.height(), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, pixels_.data());
    texture.source = Source::Copied;
    texture.topRowFirst = true;
}

bool GlxSceneCompositor::draw(unsigned target, QSize size, quint32 plainColour) {
    const SavedGlState saved;
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        glViewport(0, 0, size.width(), size.height());
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        // Where no wallpaper shows.
        glClearColor(static_cast<float>((plainColour >> 16) & 0xff) / 255.0f,
                     static_cast<float>((plainColour >> 8) & 0xff) / 255.0f,
                     static_cast<float>(plainColour & 0xff) / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);

        vertices_.clear();
        std::vector<GLuint> textures;
        for (const Item& item : items_) {
            const PixmapTexture& texture = *item.texture;
            if (texture.source == Source::Absent) {
                continue;
            }
            for (const SceneVertex& vertex :
                 texturedQuad(item.target, item.source, item.pixmapSize, texture.topRowFirst)) {
                vertices_.insert(vertices_.end(), {vertex.x, vertex.y, vertex.s, vertex.t});
            }
            textures.push_back(texture.texture);
        }
        glUseProgram(program_);
        glUniform2f(pictureSizeLocation_, static_cast<float>(size.width()),
                    static_cast<float>(size.height()));
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices_.size() * sizeof(float)),
                     vertices_.data(), GL_STREAM_DRAW);
        for (size_t i = 0; i < textures.size(); ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glDrawArrays(GL_TRIANGLES, static_cast<GLint>(i * 6), 6);
        }
    }
    // A texture left attached would stay alive after the draw loop deletes it.
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    return complete;
}

void GlxSceneCompositor::dropUnused() {
    std::optional<XlibErrorTrap> trap;
    for (auto entry = textures_.begin(); entry != textures_.end();) {
        if (entry->second.lastUsed == composition_) {
            ++entry;
            continue;
        }
        if (entry->second.glxPixmap != 0 && !trap) {
            trap.emplace(display_);
        }
        release(entry->second);
        entry = textures_.erase(entry);
    }
}

void GlxSceneCompositor::unbind(PixmapTexture& texture) {
    if (texture.glxPixmap != 0) {
        releaseTexImage()(display_, texture.glxPixmap, GLX_FRONT_LEFT_EXT);
        glXDestroyPixmap(display_, texture.glxPixmap);
        texture.glxPixmap = 0;
        // A fresh texture object for a copy: one that was bound to a pixmap may keep ties to it.
        glDeleteTextures(1, &texture.texture);
        texture.texture = newPixmapTexture();
    }
    texture.source = Source::Absent;
}

void GlxSceneCompositor::release(PixmapTexture& texture) {
    if (texture.glxPixmap != 0) {
        releaseTexImage()(display_, texture.glxPixmap, GLX_FRONT_LEFT_EXT);
        glXDestroyPixmap(display_, texture.glxPixmap);
        texture.glxPixmap = 0;
    }
    glDeleteTextures(1, &texture.texture);
    texture.texture = 0;
    texture.source = Source::Absent;
}

GlxSceneCompositor::Source GlxSceneCompositor::sourceOf(quint32 pixmap) const {
    const auto entry = textures_.find(pixmap);
    if (entry == textures_.end() || entry->second.lastUsed != composition_) {
        return Source::Absent;
    }
    return entry->second.source;
}

}  // namespace glimmora
