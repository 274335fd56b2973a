#include "platform/gl/GlProgram.h"

#include <QFile>
#include <algorithm>

#include "platform/gl/GlApi.h"

namespace glimmora {

namespace {

QString infoLog(GLuint object, bool isProgram) {
    GLint length = 0;
    isProgram ? glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length)
              : glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    QByteArray log(std::max(length, 1), '\0');
    isProgram ? glGetProgramInfoLog(object, length, nullptr, log.data())
              : glGetShaderInfoLog(object, length, nullptr, log.data());
    return QString::fromUtf8(log.constData()).trimmed();
}

GLuint compile(GLenum type, const QByteArray& source, QString* error) {
    const GLuint shader = glCreateShader(type);
    const char* text = source.constData();
    const auto length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        *error = infoLog(shader, false);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

QByteArray shaderResource(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned linkProgram(const QByteArray& vertexSource, const QByteArray& fragmentSource,
                     QString* error) {
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource, error);
    const GLuint fragment = vertex != 0 ? compile(GL_FRAGMENT_SHADER, fragmentSource, error) : 0;
    GLuint program = 0;
    if (fragment != 0) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            *error = infoLog(program, true);
            glDeleteProgram(program);
            program = 0;
        }
    }
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return program;
}

}  // namespace glimmora
