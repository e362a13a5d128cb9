# Shared by the fuzzing scripts (sourced): where the targets are, and the
# seed folder of each target, gathered from the committed seeds, the bundled
# scenes, the tests' files and the shared corpus.

FUZZ_ROOT=$(cd "$(dirname "$0")/.." && pwd)
FUZZ_BUILD=${VELK_FUZZ_BUILD:-$FUZZ_ROOT/build-fuzz}
FUZZ_CORPUS=${VELK_CORPUS_DIR:-$FUZZ_ROOT/../shared/corpus}
# Larger seeds only slow every mutation down.
FUZZ_SEED_MAX_BYTES=163840

# The targets built, one name a line.
fuzz_targets() {
    for source in "$FUZZ_ROOT"/fuzz/*Fuzz.cpp; do
        name=$(basename "$source" .cpp)
        [ -x "$FUZZ_BUILD/$name" ] && echo "$name"
    done
}

# Copies the files found under the given folders whose names match pattern.
seed_files() {
    pattern=$1
    shift
    for folder in "$@"; do
        [ -d "$folder" ] || continue
        find "$folder" -type f -name "$pattern" -size -"$FUZZ_SEED_MAX_BYTES"c
    done
}

# collect_seeds TARGET FOLDER: fills FOLDER with the target's seeds.
collect_seeds() {
    target=$1
    out=$2
    mkdir -p "$out"
    [ -d "$FUZZ_ROOT/fuzz/seeds/$target" ] && cp "$FUZZ_ROOT/fuzz/seeds/$target"/* "$out"/
    scenes=$FUZZ_ROOT/scenes
    tests=$FUZZ_ROOT/tests/scenes
    corpus=$FUZZ_CORPUS
    case $target in
    NativeFuzz) list=$(seed_files '*.txt' "$scenes" "$tests") ;;
    RibFuzz) list=$(seed_files '*.rib' "$scenes" "$tests" "$corpus/rib") ;;
    XmlFuzz) list=$(seed_files '*.xml' "$scenes" "$corpus/yafray") ;;
    MeshFuzz) list=$(seed_files '*.ply' "$scenes" "$corpus/ply"; seed_files '*.n' "$scenes"; seed_files '*.pc' "$scenes") ;;
    PlyConvertFuzz) list=$(seed_files '*.ply' "$scenes" "$corpus/ply") ;;
    PointCloudFuzz) list=$(seed_files '*.pc' "$scenes") ;;
    ImageFuzz) list=$(seed_files '*.p?m' "$corpus/images"; seed_files '*.map' "$corpus/images") ;;
    TextureFuzz) list=$(seed_files '*.p?m' "$corpus/images") ;;
    BinaryPlyFuzz) list=$(seed_files '*binary*.ply' "$corpus/ply") ;;
    SpectrumFuzz) list=$(seed_files '*.spec' "$FUZZ_ROOT/spectra") ;;
    ObjFuzz) list=$(seed_files '*.obj' "$corpus/obj"; seed_files '*.mtl' "$corpus/obj") ;;
    *) list= ;;
    esac
    for file in $list; do
        # Names can repeat across folders: keep each file under a name of its own.
        cp "$file" "$out/$(echo "$file" | cksum | cut -d' ' -f1)-$(basename "$file")"
    done
}

# The options every run shares: the target's dictionary, the limits of a run,
# and the readers' console output dropped (the fuzzer's reports stay).
fuzz_options() {
    target=$1
    options="-rss_limit_mb=2048 -timeout=10 -close_fd_mask=3"
    [ -f "$FUZZ_ROOT/fuzz/dict/$target.dict" ] && options="$options -dict=$FUZZ_ROOT/fuzz/dict/$target.dict"
    echo "$options"
}
