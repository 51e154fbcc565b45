// Glow sprites for the particle effects: a one-dimensional hashed value noise with its
// precomputed table, and the generator that paints a sprite (bright core, soft glow, faint
// ring, uneven rays) into an A8R8G8B8 image. Filing the image as a texture is the caller's.
#pragma once

struct Image;

// Samples of noise1(i * 0.01) for i = 0 .. 6283: one full turn of 2 pi at 0.01 spacing.
constexpr int kNoiseTableSize = 6284;

// Hashed value noise with linear interpolation between integers; a value in (-1, 1].
float noise1(float x);
// Allocates the table on first use and fills it; later calls refill the same table.
void buildNoiseTable();
// The table, or null before buildNoiseTable ran.
const float* noiseTable();

// Fills every pixel of an allocated format-41 image; red, green, blue weigh the glow and the
// ring (0..1). Alpha is written 0 everywhere (the sprites are drawn without reading it).
void renderParticleSprite(Image& image, float red, float green, float blue);
