#include "wine_jobs.h"

namespace pclspool::wine {

namespace {

const std::string kUel = "\x1B%-12345X";

// A4 portrait at 600 dots per inch, as the driver's rendering side would
// set it; each job adds its own keys.
// A key that stands twice in a section reads as its first value, so the
// paper code and the orientation are parameters.
std::string Settings(const std::string& extra, int paper_code = 9, int orientation = 1) {
  return "[SETTING]\r\n"
         "YRESOLUTION=600\r\n"
         "ORIENTATION=" +
         std::to_string(orientation) +
         "\r\n"
         "PAPER CODE=" +
         std::to_string(paper_code) +
         "\r\n"
         "XDIMENSION=4960\r\n"
         "YDIMENSION=7014\r\n" +
         extra +
         "\r\n"
         // waterIdx 1 to 4. The first names every font field; the second
         // leaves most to the system font's and is placed by offsets; the
         // third has no face name and gets the Arial defaults; the fourth
         // is an italic serif face turned by 90 degrees.
         "[StringSummary]\r\n"
         "CONFIDENTIAL=1\r\n"
         "Draft copy=1\r\n"
         "Arial defaults=1\r\n"
         "Turned=1\r\n"
         "\r\n"
         "[Arial defaults]\r\n"
         "FaceName=\r\n"
         "Height=-20\r\n"
         "\r\n"
         "[Turned]\r\n"
         "FaceName=Liberation Serif\r\n"
         "Height=-30\r\n"
         "Width=0\r\n"
         "Escapement=900\r\n"
         "Italic=1\r\n"
         "Weight=400\r\n"
         "Dark=12\r\n"
         "\r\n"
         "[CONFIDENTIAL]\r\n"
         "FaceName=Liberation Sans\r\n"
         "Height=-60\r\n"
         "Width=0\r\n"
         "Escapement=450\r\n"
         "Orientation=0\r\n"
         "Weight=700\r\n"
         "Italic=0\r\n"
         "Underline=0\r\n"
         "Strikeout=0\r\n"
         "CharSet=0\r\n"
         "OutPrecision=3\r\n"
         "ClipPrecision=2\r\n"
         "Quality=1\r\n"
         "PitchAndFamily=34\r\n"
         "Dark=5\r\n"
         "\r\n"
         "[Draft copy]\r\n"
         "FaceName=Liberation Sans\r\n"
         "Height=-40\r\n"
         "Width=0\r\n"
         "Escapement=0\r\n"
         "Weight=400\r\n"
         "Dark=-3\r\n"
         "CenterToPage=0\r\n"
         "XOffset=5\r\n"
         "YOffset=-10\r\n";
}

// One page of PCL: text and a raster row whose bytes include a form feed,
// an escape, a NUL and a UEL fragment, all of which must pass untouched.
std::string Page(const std::string& job, int n) {
  std::string s =
      "\x1B&l26a0o0E\x1B*p300x" + std::to_string(300 + 60 * n) + "Y\x1B(s1p12v0s0b16602T";
  s += "pclspool " + job + ", page " + std::to_string(n) + "\r\n";
  s += "\x1B*t300R\x1B*r0F\x1B*r1A\x1B*b8W";
  s += std::string("\x0C\x1B\x00\xFF%-\r\n", 8);
  s += "\x1B*rC";
  return s;
}

std::vector<std::string> Pages(const std::string& job, int count) {
  std::vector<std::string> pages;
  for (int n = 1; n <= count; ++n) pages.push_back(Page(job, n));
  return pages;
}

}  // namespace

std::vector<Job> Jobs() {
  std::vector<Job> jobs;

  Job plain{.name = "plain", .ini = Settings(""), .pages = Pages("plain", 3)};
  jobs.push_back(plain);

  Job two_up{.name = "two-up", .ini = Settings("TWOupFOUR=1\r\n"), .pages = Pages("two-up", 5)};
  jobs.push_back(two_up);

  const std::string collate = "FINISHER UNIT=1\r\nGROUPSORT=1\r\nCOPIES=3\r\n";
  Job collated{.name = "collated",
               .ini = Settings(collate),
               .pages = Pages("collated", 3),
               .stores_pages = true};
  jobs.push_back(collated);

  // Every booklet page file carries its own soft font: the rasteriser runs
  // once per page.
  Job booklet{.name = "booklet",
              .ini = Settings("BOOKLET_STYLE=1\r\n", 1024 + 9),
              .pages = Pages("booklet", 6),
              .water_idx = 1,
              .stores_pages = true,
              .watermark = true};
  jobs.push_back(booklet);

  // The captured path: waterIdx reaches the job only through the device
  // mode given to OpenPrinterW (the INI has no key for it).
  Job watermark{.name = "watermark",
                .ini = Settings(""),
                .pages = Pages("watermark", 3),
                .water_idx = 2,
                .watermark = true};
  jobs.push_back(watermark);

  // Four-up with a zoom: the scaled height and page; the face-absent
  // defaults ("Arial", which both rasterisers must find a substitute for).
  Job four_up{.name = "four-up-zoom",
              .ini = Settings("TWOupFOUR=2\r\nZOOM INDEX=2\r\n"),
              .pages = Pages("four-up-zoom", 5),
              .water_idx = 3,
              .watermark = true};
  jobs.push_back(four_up);

  // Landscape, with a text turned by 90 degrees in an italic serif face.
  Job turned{.name = "turned",
             .ini = Settings("", 9, 2),
             .pages = Pages("turned", 2),
             .water_idx = 4,
             .watermark = true};
  jobs.push_back(turned);

  // The failed capture: no device mode for the job, so waterIdx stays 0
  // and no watermark is drawn, although the printer's device mode has one.
  Job no_devmode{.name = "no-devmode",
                 .ini = Settings(""),
                 .pages = Pages("no-devmode", 2),
                 .job_devmode = false};
  jobs.push_back(no_devmode);

  // Page 2's file cannot be created: the debugger line, and page 2 missing
  // from every copy while pages 1 and 3 are whole.
  Job fails{.name = "page-file-fails",
            .ini = Settings(collate),
            .pages = Pages("page-file-fails", 3),
            .stores_pages = true,
            .failing_pages = {2}};
  for (int copy = 0; copy < 3; ++copy)
    fails.expected += fails.pages[0] + "\f" + fails.pages[2] + kUel;
  jobs.push_back(fails);

  return jobs;
}

}  // namespace pclspool::wine
