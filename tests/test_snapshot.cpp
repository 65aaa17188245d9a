// Snapshots: PLOTX_save_canvas writes the shown part of the canvas as an RGB PNG, refuses
// with a log line when it cannot, and never leaves a partial file under the target name.
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "support/harness.h"
#include "window/backend.h"
#include "support/png_reader.h"
#ifndef _WIN32
#include "support/child_process.h"
#endif
#ifdef _WIN32
#include "support/win32_files.h"
#include "host/files/files.h"
#endif

using namespace plotx;
using namespace plotx_test;
namespace fs = std::filesystem;

namespace {

Png read_png(const fs::path& path) { return plotx_test::read_png(path.string()); }

std::string file_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Snapshot : public LibraryTest {
protected:
    fs::path dir;
    void SetUp() override {
        LibraryTest::SetUp();
        std::string tmpl = (fs::temp_directory_path() / "plotx-snapshot-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        unsetenv("PLOTX_SNAPSHOT");
        fs::remove_all(dir);
        LibraryTest::TearDown();
    }
    // Every canvas pixel different from its neighbours, so a shifted, flipped or
    // channel-swapped picture cannot pass.
    void paint_pattern() {
        px::Bitmap* c = px::dc_surface(g.windows.canvas_dc);
        for (int y = 0; y < c->height; ++y)
            for (int x = 0; x < c->width; ++x)
                c->row(y)[x] = (static_cast<uint32_t>(x * 3) & 255) << 16 | (static_cast<uint32_t>(y * 5) & 255) << 8 |
                               static_cast<uint32_t>((x + y) & 255);
    }
    size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
};

TEST_F(Snapshot, WritesTheShownPartOfTheCanvasPixelForPixel) {
    begin();
    paint_pattern();
    fs::path file = dir / "shot.png";
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    Png png = read_png(file);
    ASSERT_TRUE(png.ok);
    // The client area, not the whole 601 x 540 image.
    EXPECT_EQ(png.width, 595u);
    EXPECT_EQ(png.height, 493u);
    const px::Bitmap* c = px::dc_surface(g.windows.canvas_dc);
    int mismatches = 0;
    for (unsigned y = 0; y < png.height; ++y)
        for (unsigned x = 0; x < png.width; ++x)
            mismatches += png.at(x, y) != c->at(static_cast<int>(x), static_cast<int>(y));
    EXPECT_EQ(mismatches, 0);
}

// The display scale: PLOTX_SCALE forces it, else the desktop's stated factor, else its dots
// per inch rounded to the nearest multiple of 96 with the half rounding up. Headless runs
// show nothing, so they ignore it: sizes, positions and pictures stay in canvas pixels.
TEST(DisplayScale, IsForcedElseFollowsTheDesktopRoundedHalfUp) {
    unsetenv("PLOTX_SCALE");
    EXPECT_EQ(px::display_scale_for(0, 0), 1);
    EXPECT_EQ(px::display_scale_for(0, 96), 1);
    EXPECT_EQ(px::display_scale_for(0, 120), 1);  // 125 %
    EXPECT_EQ(px::display_scale_for(0, 143.9), 1);
    EXPECT_EQ(px::display_scale_for(0, 144), 2);  // 150 %
    EXPECT_EQ(px::display_scale_for(0, 192), 2);
    EXPECT_EQ(px::display_scale_for(0, 288), 3);
    EXPECT_EQ(px::display_scale_for(0, 2000), 4);
    EXPECT_EQ(px::display_scale_for(0, -5), 1);
    EXPECT_EQ(px::display_scale_for(2, 96), 2);
    EXPECT_EQ(px::display_scale_for(9, 96), 4);
    setenv("PLOTX_SCALE", "3", 1);
    EXPECT_EQ(px::display_scale_for(2, 192), 3);
    for (const char* bad : {"0", "5", "2x", "-1"}) {
        setenv("PLOTX_SCALE", bad, 1);
        EXPECT_EQ(px::display_scale_for(0, 192), 2) << "PLOTX_SCALE=" << bad << " is ignored";
    }
    unsetenv("PLOTX_SCALE");
}

TEST_F(Snapshot, HeadlessRunsIgnoreTheDisplayScale) {
    setenv("PLOTX_SCALE", "3", 1);
    begin();
    unsetenv("PLOTX_SCALE");
    EXPECT_EQ(px::backend().display_scale(), 1);
    fs::path file = dir / "shot.png";
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    Png png = read_png(file);
    EXPECT_EQ(png.width, 595u);
    EXPECT_EQ(png.height, 493u);
}

TEST_F(Snapshot, FollowsTheSurfaceRowRingAfterAScroll) {
    begin();
    paint_pattern();
    // A scrolled surface keeps its rows rotated; the file must still start at logical row 0.
    px::Bitmap* c = px::dc_surface(g.windows.canvas_dc);
    uint32_t top_left = c->at(0, 0), bottom_left = c->at(0, 492);
    c->row_offset = 17;
    c->row(0)[0] = top_left;
    c->row(492)[0] = bottom_left;
    fs::path file = dir / "ring.png";
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    Png png = read_png(file);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.at(0, 0), top_left);
    EXPECT_EQ(png.at(0, 492), bottom_left);
}

TEST_F(Snapshot, IsEightBitRgbWithoutAlpha) {
    begin();
    paint_pattern();
    fs::path file = dir / "format.png";
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    std::string bytes = file_bytes(file);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(bytes[24], 8);  // bit depth
    EXPECT_EQ(bytes[25], 2);  // colour type: truecolour, no alpha
}

TEST_F(Snapshot, SamePixelsGiveTheSameBytes) {
    begin();
    paint_pattern();
    fs::path a = dir / "a.png", b = dir / "b.png";
    ASSERT_EQ(PLOTX_save_canvas(a.string().c_str()), 1);
    ASSERT_EQ(PLOTX_save_canvas(b.string().c_str()), 1);
    EXPECT_EQ(file_bytes(a), file_bytes(b));
    px::dc_surface(g.windows.canvas_dc)->row(100)[100] ^= 0x010101;
    ASSERT_EQ(PLOTX_save_canvas(b.string().c_str()), 1);
    EXPECT_NE(file_bytes(a), file_bytes(b));
}

TEST_F(Snapshot, ReplacesAnExistingFileWholeAndLeavesNoTemporaryFile) {
    begin();
    paint_pattern();
    fs::path file = dir / "old.png";
    std::ofstream(file) << std::string(4 << 20, 'x');  // far longer than the PNG
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    EXPECT_TRUE(read_png(file).ok);
    EXPECT_LT(fs::file_size(file), size_t{4} << 20);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(Snapshot, WorksAfterTheGraphicsWindowWasClosed) {
    begin();
    paint_pattern();
    px::headless::close(graphics());
    EXPECT_EQ(wait(), PLOTX_QUIT);
    ASSERT_FALSE(px::IsWindow(graphics()));
    fs::path file = dir / "closed.png";
    ASSERT_EQ(PLOTX_save_canvas(file.string().c_str()), 1);
    EXPECT_EQ(read_png(file).width, 595u);
}

TEST_F(Snapshot, EndSavesWhenAskedByTheEnvironment) {
    begin();
    paint_pattern();
    fs::path file = dir / "end.png";
    setenv("PLOTX_SNAPSHOT", file.string().c_str(), 1);
    EXPECT_EQ(PLOTX_end(), 1);
    Png png = read_png(file);
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.at(10, 20), px::dc_surface(g.windows.canvas_dc)->at(10, 20));
}

using SnapshotFailure = Snapshot;

TEST_F(SnapshotFailure, BeforeBeginReturnsZeroAndLogs) {
    fs::path file = dir / "closed.png";
    EXPECT_EQ(PLOTX_save_canvas(file.string().c_str()), 0);
    EXPECT_TRUE(log_has("Cannot save canvas to " + file.string()));
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(SnapshotFailure, MissingOrEmptyNameReturnsZeroAndLogs) {
    begin();
    EXPECT_EQ(PLOTX_save_canvas(nullptr), 0);
    EXPECT_EQ(PLOTX_save_canvas(""), 0);
    int lines = 0;
    for (const std::string& line : ring_lines()) lines += line.rfind("Cannot save canvas", 0) == 0;
    EXPECT_EQ(lines, 2);
}

TEST_F(SnapshotFailure, MissingDirectoryReturnsZeroAndLogs) {
    begin();
    fs::path file = dir / "no-such-dir" / "shot.png";
    EXPECT_EQ(PLOTX_save_canvas(file.string().c_str()), 0);
    EXPECT_TRUE(log_has("Cannot save canvas to " + file.string() + ": "));
    EXPECT_EQ(entries(), 0u);
}

TEST_F(SnapshotFailure, ADirectoryInTheWayIsKeptAndNoTemporaryFileRemains) {
    begin();
    paint_pattern();
    fs::path target = dir / "taken.png";
    fs::create_directory(target);
    for (std::string path : {target.string(), target.string() + "/", (target / ".").string()}) {
        EXPECT_EQ(PLOTX_save_canvas(path.c_str()), 0);
        EXPECT_TRUE(log_has("Cannot save canvas to " + path + ": Is a directory\n")) << path;
    }
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(entries(), 1u);
}

// Only a regular file or a missing name is replaced; a link is followed to what it names.
using SnapshotTargets = Snapshot;

#ifdef _WIN32
// Windows' refusals: the read-only attribute, another program holding the file without
// sharing it, a full volume. Each is said with its reason, the file keeps its bytes and
// no temporary file is left beside it.
TEST_F(SnapshotTargets, ReadOnlyHeldOrFullIsRefusedWithItsReasonAndKept) {
    begin();
    paint_pattern();
    const fs::path target = dir / "kept.png";
    std::ofstream(target) << "kept";
    auto refused = [&](const std::string& reason) {
        EXPECT_EQ(PLOTX_save_canvas(target.string().c_str()), 0);
        EXPECT_TRUE(log_has("Cannot save canvas to " + target.string() + ": " + reason + "\n"))
            << reason << ", not " << testing::PrintToString(ring_lines());
        EXPECT_EQ(entries(), 1u);
    };
    ASSERT_TRUE(set_read_only(target.string().c_str(), true));
    refused("Permission denied");
    EXPECT_EQ(file_bytes(target), "kept");
    set_read_only(target.string().c_str(), false);
    void* held = hold_without_sharing(target.string().c_str());
    ASSERT_NE(held, nullptr);
    refused(px::sys::FILE_IN_USE);
    let_go(held);
    EXPECT_EQ(file_bytes(target), "kept");
    px::sys::set_test_file_size_limit(1000);
    refused("No space left on device");
    px::sys::set_test_file_size_limit(-1);
    EXPECT_EQ(file_bytes(target), "kept");
    ASSERT_EQ(PLOTX_save_canvas(target.string().c_str()), 1);
    EXPECT_TRUE(read_png(target).ok);
}
#endif

TEST_F(SnapshotTargets, LinkIsFollowedAndStaysAPermissionsAreKept) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows programs rarely meet symbolic links: the files layer does not follow them";
#else
    begin();
    paint_pattern();
    fs::create_directory(dir / "real");
    std::ofstream(dir / "real" / "old.png") << "old";
    fs::permissions(dir / "real" / "old.png", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/old.png", dir / "link.png");
    fs::create_symlink("real/new.png", dir / "dangling.png");
    for (const char* name : {"link.png", "dangling.png"}) {
        ASSERT_EQ(PLOTX_save_canvas((dir / name).c_str()), 1) << name;
        EXPECT_TRUE(fs::is_symlink(dir / name));
        EXPECT_TRUE(read_png(dir / name).ok);
    }
    EXPECT_EQ(fs::status(dir / "real" / "old.png").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entries(), 3u);  // no temporary file left beside either
#endif
}

TEST_F(SnapshotTargets, WhatIsNotARegularFileIsRefusedWithItsReasonAndKept) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs or device nodes among files (its read-only case runs above)";
#else
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system has no FIFOs or device nodes";
#endif
    begin();
    paint_pattern();
    fs::path fifo = dir / "fifo.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(PLOTX_save_canvas(fifo.c_str()), 0);  // and does not block on it
    EXPECT_TRUE(log_has("Cannot save canvas to " + fifo.string() + ": Not a regular file\n"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    // A device node: only root can make one, and only root could have replaced one.
    fs::path device = dir / "null.png";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(PLOTX_save_canvas(device.c_str()), 0);
        EXPECT_TRUE(fs::is_character_file(device));
    } else {
        std::printf("device node case skipped: %s\n", std::strerror(errno));
    }
    // Root may write any file: the read-only one is saved to by an unprivileged user who owns
    // it and its folder.
    const passwd* user = unprivileged_user();
    if (!user) GTEST_SKIP() << "no unprivileged user to save as";
    fs::path readonly = dir / "readonly.png";
    std::ofstream(readonly) << "kept";
    fs::permissions(readonly, fs::perms::owner_read);
    ASSERT_EQ(chown(dir.c_str(), user->pw_uid, user->pw_gid), 0);
    ASSERT_EQ(chown(readonly.c_str(), user->pw_uid, user->pw_gid), 0);
    const int result = run_unprivileged([&] {
        EXPECT_EQ(PLOTX_save_canvas(readonly.c_str()), 0);
        EXPECT_TRUE(log_has("Cannot save canvas to " + readonly.string() + ": Permission denied\n"));
        return HasFailure() ? 1 : 0;
    });
    EXPECT_EQ(result, 0) << "the saving as " << user->pw_name << " failed (its output above)";
    EXPECT_EQ(file_bytes(readonly), "kept");
#endif
}

// A rename would change what the file is: another name of it (a hard link) would keep the
// old picture, another user's file would become the saver's, a directory that takes no new
// name would refuse a writable file. Such a file is written where it is.
TEST_F(SnapshotTargets, AFileARenameWouldChangeIsWrittenInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows files layer always renames: a hard link to the target keeps the old picture there";
#else
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system has no hard links or owners";
#endif
    begin();
    paint_pattern();
    std::ofstream(dir / "a.png") << "old";
    fs::create_hard_link(dir / "a.png", dir / "b.png");
    ASSERT_EQ(PLOTX_save_canvas((dir / "a.png").c_str()), 1);
    EXPECT_TRUE(read_png(dir / "b.png").ok);
    EXPECT_EQ(fs::hard_link_count(dir / "a.png"), 2u);
    EXPECT_EQ(entries(), 2u);

    // The rest needs a second user: as root, the saving is done as nobody.
    fs::path ro = dir / "ro";
    fs::create_directory(ro);
    std::ofstream(ro / "c.png") << "old";
    const passwd* nobody = unprivileged_user();
    bool as_root = geteuid() == 0;
    if (!nobody) GTEST_SKIP() << "no unprivileged user to save as";
    if (as_root) {
        // Another user's file, saved by root, stays that user's.
        std::ofstream(dir / "theirs.png") << "old";
        ASSERT_EQ(chown((dir / "theirs.png").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        ASSERT_EQ(PLOTX_save_canvas((dir / "theirs.png").c_str()), 1);
        struct stat st;
        ASSERT_EQ(stat((dir / "theirs.png").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, nobody->pw_uid);
        EXPECT_TRUE(read_png(dir / "theirs.png").ok);
        ASSERT_EQ(chown((ro / "c.png").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    }
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                            fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
    const int result = run_unprivileged([&] { return PLOTX_save_canvas((ro / "c.png").c_str()) == 1 ? 0 : 1; });
    fs::permissions(ro, fs::perms::owner_all);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(read_png(ro / "c.png").ok);
#endif
}

TEST_F(SnapshotFailure, EndReturnsZeroAndSaysWhyWhenTheEnvironmentsSnapshotFails) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "standard error cannot be captured under Node";
#endif
    begin();
    fs::path target = dir / "taken";
    fs::create_directory(target);
    setenv("PLOTX_SNAPSHOT", target.string().c_str(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(PLOTX_end(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "plotx: could not save the canvas to " + target.string() + " (PLOTX_SNAPSHOT): Is a directory\n");
}

}  // namespace
