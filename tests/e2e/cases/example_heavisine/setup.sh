# The example's data file, from the project's examples/ folder; the case
# name after "example_" names the signal.
signal=${CASE##*/example_}
mkdir -p examples
cp "$CASE/../../../../examples/$signal.txt" examples/
