// vellacor_dataset CONTENT_DIR OUT_DIR: builds the show's data set from the hand-written sources in
// CONTENT_DIR and the generators here, writes it as OUT_DIR/data/ and packs OUT_DIR/data.tva. The
// same bytes on every run.
#include <exception>
#include <filesystem>
#include <iostream>

#include "platform/Printable.h"
#include "tools/dataset/DataSet.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vellacor_dataset CONTENT_DIR OUT_DIR\n";
        return 2;
    }
    try {
        using namespace trivale::dataset;
        DataSet set;
        AddFonts(set);
        AddPictures(set);
        AddScenes(set, argv[1]);
        AddScript(set, argv[1]);
        AddMusic(set);
        const std::string out = argv[2];
        std::filesystem::create_directories(out + "/data");
        set.WriteDirectory(out + "/data");
        set.WriteArchive(out + "/data.tva", out + "/data");
        // Paths and reasons are shown escaped: a folder's name may hold a line break.
        std::cout << set.Files().size() << " files in " << plat::Printable(out) << "/data and " << plat::Printable(out)
                  << "/data.tva\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "vellacor_dataset: " << plat::Printable(e.what()) << "\n";
        return 1;
    }
}
