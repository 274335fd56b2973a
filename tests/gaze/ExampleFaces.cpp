#include "ExampleFaces.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace glimmora::test {

std::vector<ExampleFace> loadExampleFaces() {
    std::vector<ExampleFace> faces;
    const std::string directory = GLIMMORA_DLIB_EXAMPLE_FACES;
    // The files are dlib's own simple XML, one element per line; a line-wise reading is enough.
    const std::regex image(R"(<image file='([^']+)')");
    const std::regex box(R"(<box top='(-?\d+)' left='(-?\d+)' width='(\d+)' height='(\d+)')");
    const std::regex point(R"(<part name='(\d+)' x='(-?\d+)' y='(-?\d+)')");
    for (const char* file :
         {"testing_with_face_landmarks.xml", "training_with_face_landmarks.xml"}) {
        std::ifstream in(directory + "/" + file);
        std::string line, imagePath;
        std::smatch match;
        while (std::getline(in, line)) {
            if (std::regex_search(line, match, image)) {
                imagePath = directory + "/" + match[1].str();
            } else if (std::regex_search(line, match, box)) {
                faces.push_back({imagePath,
                                 cv::Rect(std::stoi(match[2]), std::stoi(match[1]),
                                          std::stoi(match[3]), std::stoi(match[4])),
                                 {}});
            } else if (std::regex_search(line, match, point) && !faces.empty()) {
                faces.back().landmarks.at(std::stoul(match[1])) =
                    Point{std::stod(match[2]), std::stod(match[3])};
            }
        }
    }
    return faces;
}

}  // namespace glimmora::test
