#pragma once

namespace quillmere {

// The program entry: application object, the three windows, the message loop.
int runApplication(int argc, char **argv);

} // namespace quillmere
