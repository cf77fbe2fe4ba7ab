// Taking a scene back out of the registry, so that it can be loaded again and replayed: seeking
// backwards and reloading a changed scene both start from what the scene's load found.
//
// Main thread only, between frames, while no scene is loading.
#pragma once

// Notes where the scene's part of the registry begins; the loader calls it before a load.
void markSceneStart();

// What a reset does with the scene's meshes and materials.
enum class SceneAssets {
    Keep,     // kept aside; the next load takes them by name instead of reading their files
    ReadAgain // released; the next load reads every file again
};

// Removes everything the scene made from the registry and the renderer and destroys it: placed
// objects, lights, actors, entities made by actors, meshes made by actors, automation bindings,
// free tracks, timed events and their position, subscriptions, the post chain's parameters, the scene's
// camera. Puts back what the load began with: the random sequence, the light numbering, the
// frame time the show's first frame read. The renderer, the window, the music and everything
// kept before the scene's load stay.
void resetScene(SceneAssets assets);

// After the load that follows a reset: kept meshes and materials that it did not take again
// are released.
void releaseUnusedSceneAssets();
