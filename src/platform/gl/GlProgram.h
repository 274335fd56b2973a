#pragma once

#include <QByteArray>
#include <QString>

namespace glimmora {

/// The text of a shader compiled into the binary as a Qt resource; empty when it is missing.
QByteArray shaderResource(const char* path);

/// Compiles a vertex and a fragment shader (OpenGL 3.3 core) and links them into a program.
/// Returns the program, or 0 with the driver's message in `error`. Needs a current context.
unsigned linkProgram(const QByteArray& vertexSource, const QByteArray& fragmentSource,
                     QString* error);

}  // namespace glimmora
