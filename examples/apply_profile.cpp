// Makes a settings profile on a camera and says what the camera took: each
// entry applied or refused (with the camera's reason), then what this program
// has set, as a document that could be saved and applied again later.
//
//   apply_profile ADDRESS PROFILE.json
#include <ocamera/camera.h>
#include <ocamera/settings.h>
#include <ocamera/status.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
  if (argc != 3) return std::fprintf(stderr, "usage: apply_profile ADDRESS PROFILE.json\n"), 2;
  // The file is checked as a whole before anything reaches the camera: an
  // unknown key or a value out of range is named here.
  ocamera::Settings profile;
  std::string error;
  if (!ocamera::Settings::readFile(argv[2], &profile, &error))
    return std::fprintf(stderr, "apply_profile: %s\n", error.c_str()), 1;

  OCamera *camera = CreateCameraInterface(OCamera::CAM_TYPE_GENERIC, argv[1]);
  if (!camera)
    return std::fprintf(stderr, "apply_profile: %s\n", ocamera::lastCreationError().c_str()), 1;

  // SkipRefused: a refused entry is reported and the rest still made.
  const ocamera::ApplyResult result =
      ocamera::applySettings(*camera, profile, ocamera::ApplyMode::SkipRefused);
  for (const std::string &name : result.applied) std::printf("applied %s\n", name.c_str());
  for (const ocamera::SettingRefusal &r : result.refused)
    std::printf("refused %s: %s\n", r.name.c_str(), r.text.c_str());

  // The camera reports almost none of its settings; the session record says
  // what this program set and the camera accepted.
  std::printf("%s", ocamera::sessionRecord(*camera).toJson().c_str());
  camera->destroy();
  return result.ok() ? 0 : 1;
}
