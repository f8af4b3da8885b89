// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small exports written by hand in the layouts of the NIST ASD's Lines and Levels forms (CSV
// with ="..." cells), for a made-up krypton: the two lowest levels of 4p5 5s, three of 4p5 5p
// with two lines each to them, a level above an unknown one (+x), the ionisation limit, a line
// without A and one without its upper level's energy.

#include <string>

namespace zelt::test {

inline const std::string kKrLevels =
    "Configuration,Term,J,Prefix,\"Level (eV)\",Suffix,\"Uncertainty (eV)\",Reference\r\n"
    "=\"4s2.4p6\",=\"1S\",=\"0\",=\"\",=\"0.0000000\",=\"\",=\"\",=\"\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5s\",=\"2[3/2]*\",=\"2\",=\"\",=\"9.91543952\",=\"\",=\"\",=\"\",\r\n"
    "=\"\",=\"\",=\"1\",=\"\",=\"10.03242500\",=\"\",=\"\",=\"\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"1\",=\"\",=\"11.5264000?\",=\"\",=\"\",=\"\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[5/2]\",=\"2\",=\"\",=\"[11.44541000]\",=\"\",=\"\",=\"\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"2\",=\"\",=\"11.54640000\",=\"\",=\"\",=\"\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).7f\",=\"2[9/2]\",=\"4\",=\"\",=\"12.5+x\",=\"\",=\"\",=\"\",\r\n"
    "=\"Kr II (2P*<3/2>)\",=\"Limit\",=\"\",=\"\",=\"[13.9996055]\",=\"\",=\"\",=\"\",\r\n";

// The ground level is left in the levels export above; these levels start at 1s5.
inline const std::string kKrExcitedLevels =
    "Configuration,Term,J,\"Level (eV)\"\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5s\",=\"2[3/2]*\",=\"2\",=\"9.91543952\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5s\",=\"2[3/2]*\",=\"1\",=\"10.03242500\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[5/2]\",=\"2\",=\"[11.44541000]\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"1\",=\"11.5264000?\",\r\n"
    "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"2\",=\"11.54640000\",\r\n";

inline const std::string kKrLinesHeader =
    "element,sp_num,obs_wl_air(nm),unc_obs_wl,ritz_wl_air(nm),unc_ritz_wl,intens,Aki(s^-1),Acc,"
    "Ei(eV),Ek(eV),conf_i,term_i,J_i,conf_k,term_k,J_k,g_i,g_k,Type,tp_ref,line_ref\r\n";

// One row of the lines export: wavelengths, A, accuracy, energies, lower and upper level.
inline std::string KrLine(const std::string& observed, const std::string& ritz,
                          const std::string& a, const std::string& ei, const std::string& ek,
                          const std::string& lower, const std::string& upper,
                          const std::string& sp = "1") {
    const auto q = [](const std::string& cell) { return "=\"" + cell + "\","; };
    return "Kr," + sp + "," + q(observed) + q("0.0001") + q(ritz) + q("") + q("5000") + q(a) +
           q(a.empty() ? "" : "B+") + q(ei) + q(ek) + lower + upper + q("") + q("") + q("") +
           q("T7771") + q("L8155") + "\r\n";
}

// conf, term, J cells of the levels used by the lines.
inline const std::string kS5 = "=\"4s2.4p5.(2P*<3/2>).5s\",=\"2[3/2]*\",=\"2\",";
inline const std::string kS4 = "=\"4s2.4p5.(2P*<3/2>).5s\",=\"2[3/2]*\",=\"1\",";
inline const std::string kP8 = "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[5/2]\",=\"2\",";
inline const std::string kP7 = "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"1\",";
inline const std::string kP6 = "=\"4s2.4p5.(2P*<3/2>).5p\",=\"2[3/2]\",=\"2\",";

inline const std::string kKrLines =
    kKrLinesHeader +
    KrLine("810.4364", "810.43645", "1.25e+07", "9.915440", "11.445410", kS5, kP8) +
    KrLine("877.6748", "877.67502", "2.22e+07", "10.032425", "11.445410", kS4, kP8) +
    KrLine("", "769.45395", "5.6e+06", "10.032425", "11.526400", kS4, kP7) +
    KrLine("819.0057", "819.00571", "1.1e+07", "9.915440", "11.526400", kS5, kP7) +
    KrLine("785.4821", "785.48219", "2.2e+07", "10.032425", "11.546400", kS4, kP6) +
    KrLine("760.1544", "760.15457", "3.1e+07", "9.915440", "11.546400", kS5, kP6) +
    KrLine("758.7413", "758.74136", "", "9.915440", "11.549000", kS5, kP6) +
    KrLine("748.6862", "", "4.1e+06", "9.915440", "", kS5, "=\"\",=\"\",=\"\",");

} // namespace zelt::test
