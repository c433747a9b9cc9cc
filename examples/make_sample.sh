#!/bin/sh
# Writes sample.pcl, a small three-page PJL/PCL job of the kind a Windows
# PCL driver produces: a PJL header that gives the page size in dots, text
# pages ended by form feeds, a raster graphic whose rows contain form-feed
# and ESC bytes, an HP-GL/2 box, and the closing reset and UEL.
#   sh examples/make_sample.sh > examples/sample.pcl
set -eu

uel() { printf '\033%%-12345X'; }

# 32 raster rows of 4 bytes: stripes of 0x0C (form feed) and 0x1B (ESC).
raster() {
  printf '\033*t150R\033*r1A\033*b0M'
  i=0
  while [ "$i" -lt 32 ]; do
    if [ $((i / 4 % 2)) -eq 0 ]; then
      printf '\033*b4W\014\014\014\014'
    else
      printf '\033*b4W\033\033\033\033'
    fi
    i=$((i + 1))
  done
  printf '\033*rB'
}

uel
printf '@PJL JOB NAME="sample"\r\n'
printf '@PJL COMMENT XDIM=4960\r\n'
printf '@PJL COMMENT YDIM=7014\r\n'
printf '@PJL SET RESOLUTION=600\r\n'
# A line feed alone after PCL, as the driver writes it.
printf '@PJL ENTER LANGUAGE=PCL\n'
printf '\033E\033&l26A\033&l0O\033&u600D\033*t600R\033(0N\033(s1p12v0s0b4148T'

# Page 1: text.
printf '\033*p300x400YPage 1: plain text.\r\n'
printf 'A second line of text.\r\n'
printf '\014'

# Page 2: text and a raster graphic.
printf '\033*p300x400YPage 2: a raster graphic below.\r\n'
printf '\033*p300x600Y'
raster
printf '\033*p300x900YThe graphic ends above.\r\n'
printf '\014'

# Page 3: a box drawn in HP-GL/2, then text again.
printf '\033*p300x400YPage 3: an HP-GL/2 box below.\r\n'
printf '\033*c5760x7920Y\033*c0T\033%%1B'
printf 'IN;SP1;PA2000,2000;PD4000,2000,4000,4000,2000,4000,2000,2000;PU;'
printf '\033%%1A'
printf '\033*p300x1500YThe end.\r\n'
printf '\014'

printf '\033E'
uel
