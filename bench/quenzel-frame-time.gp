# quenzel's frame time against window area, from the figures
# bench/frame_times.sh measured; it runs this from the top of the source tree.
set terminal pngcairo size 900,600 font "DejaVu Sans,11"
set output "docs/images/quenzel-frame-time.png"
set datafile separator "\t"
set title "quenzel: frame time against window area\n(median; bars from the 10th to the 90th percentile)"
set xlabel "window area (megapixels)"
set ylabel "frame time (ms)"
set key top left reverse Left
set grid
set xrange [0:2.2]
set yrange [0:*]
data = "docs/data/performance.tsv"
# The window area of quenzel's rows run the given way; other rows are left out.
area(way) = (strcol(1) eq "quenzel" && strcol(4) eq way) ? $2 * $3 / 1e6 : NaN
plot data using (area("auto")):7:6:8 with yerrorlines lw 2 pt 7 title "the program, renderer SDL picks", \
     data using (area("software")):7:6:8 with yerrorlines lw 2 pt 5 title "the program, SDL\\_RENDER\\_DRIVER=software", \
     data using (area("software-x")):7:6:8 with yerrorlines lw 2 pt 9 title "the same, straight to X (SDL\\_FRAMEBUFFER\\_ACCELERATION=0)", \
     data using (area("bench Frame")):7:6:8 with yerrorlines lw 2 pt 4 dt 2 title "the scene in-process (CPU time)", \
     data using (area("bench NoiseOnly")):7:6:8 with yerrorlines lw 2 pt 6 lc rgb "black" title "its noise alone: the floor (CPU time)"
