// The native build only: one figure of qemhost run --audio checked against
// an independent tool. sox writes a known signal and measures its mean; the
// Volts monitor, fed the file through the host, must show ten times that
// mean.
//
// What is compared: the signal is 1 s at 44100 Hz, so the monitor's timed
// reports (every 2205 samples) cover twenty windows of equal length, and the
// mean of the twenty reported window means is the file's mean; that average
// is compared with 10 x sox's "Mean amplitude".
//
// Why the tolerance is what it is: 16-bit samples are multiples of 2^-15,
// and with |sample| <= 0.6 every partial sum of a window stays below 2^9 in
// magnitude (the DC part grows to 220.5, the sine part never passes 16), so
// every partial sum fits the 24 bits of a float and the module's
// single-precision sum is exact. What is left is two roundings of a float
// (the division by the count and the x10), at most 2 x 2^-24 relative, and
// the panel's ten significant digits: together below 2e-7 on a figure of 1.
// sox prints the mean to six decimals (+-5e-7, x10 = 5e-6). So the two
// agree within 5.2e-6; a wrong scale (1/32767 for 1/32768 moves the figure
// by 3e-5), a wrong channel, offset or window does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> p(popen((command + " 2>&1").c_str(), "r"), &pclose);
    std::string out;
    char buf[4096];
    std::size_t n;
    while (p && (n = std::fread(buf, 1, sizeof buf, p.get())) > 0) out.append(buf, n);
    return out;
}

TEST(SoxCrossCheck, VoltsShowsTenTimesTheMeanSoxMeasures) {
    const std::string wav = (std::filesystem::temp_directory_path() / "qem_sox_cross_check.wav").string();
    output(std::string(QEM_SOX) + " -D -n -r 44100 -b 16 " + wav + " synth 1 sine 440 vol 0.5 dcshift 0.1");
    ASSERT_TRUE(std::filesystem::exists(wav));

    std::smatch m;
    const std::string stat = output(std::string(QEM_SOX) + " " + wav + " -n stat");
    ASSERT_TRUE(std::regex_search(stat, m, std::regex("Mean +amplitude: +(-?[0-9.]+)"))) << stat;
    const double soxMean = std::stod(m[1]);
    EXPECT_NEAR(soxMean, 0.1, 1e-3) << "sox wrote another signal than asked for";

    const std::string run = output(std::string(QEM_QEMHOST) + " run " + QEM_VOLTS + " --audio " + wav);
    std::istringstream lines(run);
    const std::regex report(" *([0-9.]+) s  @([0-9]+)  \"(.*)\"");
    std::vector<std::pair<long, double>> reports;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_match(line, m, report)) reports.emplace_back(std::stol(m[2]), std::strtod(m[3].str().c_str(), nullptr));
    ASSERT_GE(reports.size(), 20u) << run;
    double sum = 0;
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(reports[static_cast<std::size_t>(k)].first, 2205L * (k + 1)) << run;
        sum += reports[static_cast<std::size_t>(k)].second;
    }
    EXPECT_NEAR(sum / 20, 10 * soxMean, 5.2e-6) << run;
    std::filesystem::remove(wav);
}

} // namespace
