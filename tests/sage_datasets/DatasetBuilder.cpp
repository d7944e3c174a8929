#include "sage_datasets/DatasetBuilder.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace sagetest {

namespace {

void Put(std::string& bytes, std::size_t offset, std::size_t width, std::string_view text, char pad = ' ') {
    if (bytes.size() < offset + width) {
        bytes.resize(offset + width, '\0');
    }
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = i < text.size() ? text[i] : pad;
    }
}

} // namespace

void WriteBytes(const fs::path& file, std::string_view bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::map<fs::path, std::pair<std::string, fs::file_time_type>> SnapshotFiles(const fs::path& folder) {
    std::map<fs::path, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path()] = {ReadBytes(entry.path()), entry.last_write_time()};
        }
    }
    return files;
}

TSetupLayout LayoutFor(int version) {
    switch (version) {
    case 8:
    case 9:
        return {3772, 30, 0};
    case 10:
        return {3785, 30, 6169};
    case 11:
        return {3791, 30, 6178};
    case 12:
        return {3883, 30, 6270};
    case 13:
    case 14:
        return {3884, 30, 6271};
    case 15:
    case 16:
        return {3898, 30, 6285};
    case 17:
        return {5326, 30, 7713};
    case 18:
        return {6627, 30, 9014};
    case 19:
        return {6732, 30, 9119};
    case 20:
        return {6738, 20, 9115};
    case 21:
        return {3960, 20, 6337};
    case 22:
        return {3967, 20, 6344};
    case 23:
    case 24:
    case 25:
    case 26:
        return {4004, 20, 6380};
    case 27:
    case 28:
        return {4002, 20, 6378};
    default:
        return {4277, 20, 6651};
    }
}

std::string MakeSetupDta(const TSetupFields& fields, int layoutVersion) {
    const TSetupLayout layout = LayoutFor(layoutVersion);
    std::string bytes(10000, '\0');
    bytes[0] = static_cast<char>(fields.VersionByte);
    bytes[1] = '\x5A'; // bytes the library must never touch
    bytes[2] = '\xA5';
    Put(bytes, 3, 60, fields.CompanyName);
    bytes[63] = '\0';
    Put(bytes, 64, 61, fields.Address1);
    Put(bytes, 125, 61, fields.Address2);
    Put(bytes, 186, 61, fields.Town);
    Put(bytes, 247, 61, fields.County);
    Put(bytes, 308, 61, fields.PostCode);
    Put(bytes, static_cast<std::size_t>(layout.VatNumberOffset),
        static_cast<std::size_t>(layout.VatNumberWidth), fields.VatNumber);
    if (layout.UuidOffset != 0) {
        Put(bytes, static_cast<std::size_t>(layout.UuidOffset), 36, fields.Uuid);
    }
    // Neighbouring bytes that are not spaces prove the field widths are kept.
    bytes[static_cast<std::size_t>(layout.VatNumberOffset + layout.VatNumberWidth)] = 'X';
    return bytes;
}

std::string ReturnXml(const std::vector<std::pair<std::string, std::string>>& elements,
                      std::string_view rootName) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<" + std::string(rootName) + ">\r\n";
    for (const auto& [name, text] : elements) {
        xml += "  <" + name + ">" + text + "</" + name + ">\r\n";
    }
    return xml + "</" + std::string(rootName) + ">\r\n";
}

std::string SimpleReturnXml(std::string_view dateFrom, std::string_view dateTo, std::string_view company,
                            const std::vector<std::string>& boxes) {
    std::vector<std::pair<std::string, std::string>> elements = {
        {"COMPANY", std::string(company)}, {"DATEFROM", std::string(dateFrom)},
        {"DATETO", std::string(dateTo)},   {"FLATRATELIABILITY", "0.00"},
        {"STANDARDRATELIABILITY", "0.00"}, {"STANDARDRATESALES", "0.00"},
        {"STANDARDRATEPURCHASE", "0.00"},  {"FLATRATEBENEFITCOST", "0.00"}};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        elements.emplace_back("BOX" + std::to_string(i + 1), boxes[i]);
    }
    return ReturnXml(elements);
}

fs::path TDatasetBuilder::WriteSetup(const TSetupFields& fields, int layoutVersion, std::string_view accData,
                                     std::string_view setupDta) {
    return WriteSetupBytes(MakeSetupDta(fields, layoutVersion), accData, setupDta);
}

fs::path TDatasetBuilder::WriteSetupBytes(std::string_view bytes, std::string_view accData,
                                          std::string_view setupDta) {
    const fs::path file = _folder / accData / setupDta;
    WriteBytes(file, bytes);
    return file;
}

fs::path TDatasetBuilder::WriteWatermark(std::string_view bytes, std::string_view name) {
    const fs::path file = _folder / name;
    WriteBytes(file, bytes);
    return file;
}

fs::path TDatasetBuilder::WriteReturn(std::string_view year, std::string_view fileName, std::string_view xml,
                                      std::string_view vatRtns) {
    const fs::path file = _folder / vatRtns / year / fileName;
    WriteBytes(file, xml);
    return file;
}

fs::path TDatasetBuilder::WriteAdjustments(std::string_view year, std::string_view fileName,
                                           std::string_view xml, std::string_view vatRtns,
                                           std::string_view data, std::string_view adjustments) {
    std::string folderName = std::string(year) + "-" + std::string(fileName.substr(0, fileName.size() - 4));
    const fs::path file = _folder / vatRtns / data / folderName / adjustments;
    WriteBytes(file, xml);
    return file;
}

std::string AdjustmentsXml(
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>>& boxes,
    std::string_view rootName) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<" + std::string(rootName) +
                      " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
    for (const auto& [type, adjustments] : boxes) {
        xml += "  <Box type=\"" + type + "\">\n";
        for (const auto& [value, enteredInBox] : adjustments) {
            xml += "    <Adjustment><Value>" + value + "</Value><EnteredInBox>" + enteredInBox +
                   "</EnteredInBox><Note>n</Note></Adjustment>\n";
        }
        xml += "  </Box>\n";
    }
    return xml + "</" + std::string(rootName) + ">\n";
}

} // namespace sagetest
