// The text by which aerolith-pack tells a launcher image from any other
// program: 'verify' and 'embed' refuse an image without it. Nothing in the
// launcher reads it; `used` keeps it in the image all the same.
namespace {

[[gnu::used]] const char kLauncherIdentity[] = "Aerolith Vantor launcher image, bundle format 1";

}  // namespace
