"""Encodes an RGB picture drawn by one of the data scripts as a JPEG file, through a PPM and
Debian's ffmpeg (full-resolution chroma, so thin bright details keep their colour)."""
import subprocess
import tempfile


def write_jpeg(path, width, height, pixels):
    """pixels: width * height * 3 bytes, top row first."""
    with tempfile.NamedTemporaryFile(suffix=".ppm") as ppm:
        ppm.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(pixels))
        ppm.flush()
        subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-i", ppm.name, "-q:v", "2", "-pix_fmt", "yuvj444p", path],
                       check=True)
