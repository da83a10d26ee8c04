// The object as text, for checking what a load produced: the layers with their points, edges, maps
// and polygon lists, then the surfaces (their bodies listed by the body readers), tags, clips and
// envelopes. A section with nothing in it writes nothing, not even its empty line.
#include "lightwave/object/LwMaterial.h"
#include "lightwave/object/ObjectInternal.h"

#include <cstring>

namespace {

const char* const kFileTypes[] = {"UNKNOWN", "LWOB", "LWO2", "RSD"};
const char* const kChannels[] = {"NONE", "COLR", "DIFF", "LUMI", "SPEC", "REFL", "TRAN", "BUMP", "TRNL"};

// The channel named by the lowest set bit of a mask; bits above 7 have no name and print as NONE.
const char* ChannelName(uint16_t mask) {
    for (int bit = 0; bit < 8; ++bit)
        if (mask & (1u << bit)) return kChannels[bit + 1];
    return kChannels[0];
}

void EndSection(FILE* stream) {
    DumpPrintf(stream, 0, "\n");
    fflush(stream);
}

void DumpList(FILE* stream, const std::vector<int32_t>& list) {
    for (size_t i = 0; i < list.size(); ++i) DumpPrintf(stream, 0, i + 1 < list.size() ? "%d," : "%d>", list[i]);
}

// Values "%f, " each and "%f>" with the line end after the last; a map of dimension 0 closes with ">".
void DumpValues(FILE* stream, const float* values, int32_t dimension) {
    for (int32_t d = 0; d + 1 < dimension; ++d) DumpPrintf(stream, 0, "%f, ", values[d]);
    if (dimension > 0)
        DumpPrintf(stream, 0, "%f>\n", values[dimension - 1]);
    else
        DumpPrintf(stream, 0, ">\n");
}

void DumpLayerInfo(LwObject* o, LwLayer* layer, FILE* stream) {
    o->Op.SetCurrentLayer(o, layer->Position);
    DumpPrintf(stream, 0, "\n**************  L A Y E R  I N F O  ******************\n");
    DumpPrintf(stream, 0, "Layer      [%d][%s]\n", layer->LayerNumber, layer->Name);
    DumpPrintf(stream, 0, "parent_no  [%d]\n", layer->ParentNumber);
    DumpPrintf(stream, 0, "pivot      [%f,%f,%f]\n", layer->Pivot[0], layer->Pivot[1], layer->Pivot[2]);
    DumpPrintf(stream, 0, "numPnts    [%d]\n", (int)layer->Points.size());
    DumpPrintf(stream, 0, "numNorms   [%d]\n", (int)layer->Normals.size());
    DumpPrintf(stream, 0, "numMaps    [%d]\n", (int)layer->TexCoords.size());
    DumpPrintf(stream, 0, "numCols    [%d]\n", (int)layer->Colors.size());
    DumpPrintf(stream, 0, "numEdges   [%d]\n", (int)layer->Edges.size());
    DumpPrintf(stream, 0, "numVMaps   [%d]\n", (int)layer->Vmaps.size());
    DumpPrintf(stream, 0, "numVMads   [%d]\n", (int)layer->Vmads.size());
    const double* b = layer->BoundingBox;
    DumpPrintf(stream, 0, "bbox <%f,%f,%f> <%f,%f,%f>\n", b[0], b[1], b[2], b[3], b[4], b[5]);
    EndSection(stream);
}

void DumpPoints(const LwLayer* layer, FILE* stream) {
    if (layer->Points.empty()) return;
    for (size_t i = 0; i < layer->Points.size(); ++i) {
        const LwPoint& p = layer->Points[i];
        DumpPrintf(stream, 0, "PNTS [%d] <%f,%f,%f> EDGE_NO <%d>\n", (int)i, p.Xyz[0], p.Xyz[1], p.Xyz[2], p.Edge);
    }
    EndSection(stream);
}

void DumpNormals(const LwLayer* layer, FILE* stream) {
    if (layer->Normals.empty()) return;
    for (size_t i = 0; i < layer->Normals.size(); ++i) {
        const double* n = layer->Normals[i].Xyz;
        DumpPrintf(stream, 0, "NORMS [%d] <%f,%f,%f>\n", (int)i, n[0], n[1], n[2]);
    }
    EndSection(stream);
}

void DumpMeshes(LwObject* o, const LwLayer* layer, FILE* stream) {
    if (layer->Meshes.empty()) return;
    for (size_t i = 0; i < layer->Meshes.size(); ++i) {
        const LwMesh& mesh = layer->Meshes[i];
        const LwSurfaceEntry* surface = o->Op.GetSurfaceById(o, mesh.SurfaceId);
        DumpPrintf(stream, 0, "MESH [%d] TYPE [%d] KEY [0x%08x] SURF <%s> NODES [%d]\n", (int)i, mesh.Kind, mesh.Key,
                   surface ? surface->Name : "", mesh.NodeCount());
        for (const LwMeshNode& node : mesh.Nodes)
            DumpPrintf(stream, 0, "\t<POL=%d,PNT=%d,IDX=%d>\n", node.Polygon, node.Point, node.Vertex);
    }
    EndSection(stream);
}

void DumpTexCoords(const LwLayer* layer, FILE* stream) {
    if (layer->TexCoords.empty()) return;
    for (size_t i = 0; i < layer->TexCoords.size(); ++i) {
        const double* t = layer->TexCoords[i].Uvw;
        DumpPrintf(stream, 0, "MAPS [%d] <%f,%f,%f>\n", (int)i, t[0], t[1], t[2]);
    }
    EndSection(stream);
}

void DumpColors(const LwLayer* layer, FILE* stream) {
    if (layer->Colors.empty()) return;
    for (size_t i = 0; i < layer->Colors.size(); ++i) {
        const float* c = layer->Colors[i].Rgba;
        DumpPrintf(stream, 0, "COLORS [%d] <%g,%g,%g,%g>\n", (int)i, c[0], c[1], c[2], c[3]);
    }
    EndSection(stream);
}

void DumpEdges(const LwLayer* layer, FILE* stream) {
    if (layer->Edges.empty()) return;
    for (size_t i = 0; i < layer->Edges.size(); ++i) {
        const LwEdge& e = layer->Edges[i];
        DumpPrintf(stream, 0, "EDGES [%d] p0<%d> p1<%d> pol_R<%d> pol_L<%d> edge_R<%d> edge_L<%d>\n", (int)i, e.P0,
                   e.P1, e.PolR, e.PolL, e.EdgeR, e.EdgeL);
    }
    EndSection(stream);
}

void DumpVmaps(const LwLayer* layer, FILE* stream) {
    char type[5];
    for (const LwVmap& map : layer->Vmaps) {
        DumpPrintf(stream, 0, "VMAP [%d] TYPE<%s> NAME<%s> DIM<%d> NPNT<%d>\n", map.Index, IdToText(map.Type, type),
                   map.Name, map.Dimension, (int)map.Points.size());
        for (size_t e = 0; e < map.Points.size(); ++e) {
            DumpPrintf(stream, 0, "PNTID <%d> <", map.Points[e]);
            DumpValues(stream, map.Values.data() + e * map.Dimension, map.Dimension);
        }
        EndSection(stream);
    }
}

void DumpVmads(const LwLayer* layer, FILE* stream) {
    char type[5];
    for (const LwVmad& map : layer->Vmads) {
        DumpPrintf(stream, 0, "VMAD [%d] TYPE<%s> NAME<%s> DIM<%d> NPNT<%d>\n", map.Index, IdToText(map.Type, type),
                   map.Name, map.Dimension, (int)map.Entries.size());
        for (const LwVmadEntry& entry : map.Entries) {
            for (const LwVmadValue& value : entry.Values) {
                DumpPrintf(stream, 0, "PNTID <%d> POLID <%d> <", entry.Point, value.Polygon);
                DumpValues(stream, value.Values.data(), map.Dimension);
            }
        }
        EndSection(stream);
    }
}

void DumpPolygons(const LwPolygonGroup& group, FILE* stream) {
    if (group.Polygons.empty()) return;
    for (size_t i = 0; i < group.Polygons.size(); ++i) {
        const LwPolygon& p = group.Polygons[i];
        DumpPrintf(stream, 0, "[%d] POLS [%d] SURF<%s> SURF_NO<%d> EDGE_NO<%d> FLAG<0x%04x> PNTS<", (int)i,
                   p.VertexCount(), p.SurfaceName ? p.SurfaceName : "", p.SurfaceId, p.Edge, p.Flags);
        DumpList(stream, p.Points);
        if (!p.NormalIndices.empty()) {
            DumpPrintf(stream, 0, " NORMALS<");
            DumpList(stream, p.NormalIndices);
        }
        if (!p.ColorIndices.empty()) {
            DumpPrintf(stream, 0, " COLORS<");
            DumpList(stream, p.ColorIndices);
        }
        for (const LwTexChannel& channel : p.TexChannels) {
            DumpPrintf(stream, 0, " MAPS[%s][%d]<", ChannelName(channel.KeyA), channel.KeyB);
            DumpList(stream, channel.Indices);
        }
        DumpPrintf(stream, 0, "\n");
    }
    EndSection(stream);
}

void DumpPtags(const LwPolygonGroup& group, FILE* stream) {
    char type[5];
    for (const LwPolygonTagMap& map : group.TagMaps) {
        DumpPrintf(stream, 0, "PTAG [%d] TYPE<%s> NPOL<%d>\n", map.Index, IdToText(map.Type, type),
                   (int)map.Polygons.size());
        for (size_t e = 0; e < map.Polygons.size(); ++e)
            DumpPrintf(stream, 0, "POLID <%d> TAG<%d>\n", map.Polygons[e], map.TagIds[e]);
        EndSection(stream);
    }
}

void DumpPolygonLists(LwObject* o, LwLayer* layer, FILE* stream) {
    char type[5];
    for (LwId t = o->Op.GetNextPolygonType(o, 0); t; t = o->Op.GetNextPolygonType(o, t)) {
        o->Op.SetPolygonType(o, t);
        const LwPolygonGroup& group = *layer->Working;
        DumpPrintf(stream, 0, "NEW POLS CHUNK TYPE [%s]\n\n", IdToText(group.Type, type));
        DumpPrintf(stream, 0, "NPOLS      [%d]\n", (int)group.Polygons.size());
        DumpPolygons(group, stream);
        DumpPrintf(stream, 0, "NPTAG      [%d]\n", (int)group.TagMaps.size());
        DumpPtags(group, stream);
    }
    o->Op.SetPolygonType(o, LW_ID_FACE);
}

void Four(FILE* stream, const char* label, const float* v) {
    DumpPrintf(stream, 0, "\t%s[%g,%g,%g,%g]\n", label, v[0], v[1], v[2], v[3]);
}

// The record has no shininess colour, file name of its own UV view or reference surface: the
// specular power stands in the first, and the others print empty.
void DumpMaterial(const LwMaterial* m, FILE* stream) {
    char type[5];
    DumpPrintf(stream, 0, "\n******   MATERIAL INFO  ******\n\n");
    DumpPrintf(stream, 0, "\tSURFACE NAME       [%s]\n", m->Name);
    DumpPrintf(stream, 0, "\tMATERIAL TYPE      [%d]\n", m->SourceType);
    DumpPrintf(stream, 0, "\tMATERIAL FLAG      [0x%04x]\n", m->Flags);
    DumpPrintf(stream, 0, "\tANIMATION TIME     [%g]\n", m->EvalTime);
    Four(stream, "SURFACE COLOR      ", m->Color);
    Four(stream, "DIFFUSE COLOR      ", m->DiffuseColor);
    Four(stream, "SPECULAR COLOR     ", m->SpecularColor);
    Four(stream, "SHININESS COLOR    ", m->ShininessColor);
    Four(stream, "EMISSION COLOR     ", m->LuminousColor);
    DumpPrintf(stream, 0, "\tDIFFUSE INTENSITY  [%g]\n", m->Diffuse);
    DumpPrintf(stream, 0, "\tSPECULAR INTENSITY [%g]\n", m->Specular);
    DumpPrintf(stream, 0, "\tLUMINOSITY         [%g]\n", m->Luminosity);
    DumpPrintf(stream, 0, "\tREFLECTION LEVEL   [%g]\n", m->Reflection);
    DumpPrintf(stream, 0, "\tREFRACTIVE INDEX   [%g]\n", m->RefractiveIndex);
    DumpPrintf(stream, 0, "\tSMOOTHING ANGLE    [%g]\n", m->SmoothingAngle);
    DumpPrintf(stream, 0, "\tTRANSPARENCY       [%g]\n", m->Transparency);
    DumpPrintf(stream, 0, "\tCOLOR HIGHLIGHTS   [%g]\n", m->ColorHighlights);
    DumpPrintf(stream, 0, "\tREFLECTION OPTION  [%d]\n", m->ReflectionMode);
    DumpPrintf(stream, 0, "\tREFLECTION IMAGE   [%s]\n", m->ReflectionImage);
    DumpPrintf(stream, 0, "\tREFLECTION ANGLE   [%f]\n", m->ReflectionSeamAngle);
    DumpPrintf(stream, 0, "\tREFRACTION OPTION  [%d]\n", m->RefractionMode);
    DumpPrintf(stream, 0, "\tREFRACTION IMAGE   [%s]\n", m->RefractionImage);
    DumpPrintf(stream, 0, "\tREFRACTION ANGLE   [%f]\n", m->RefractionSeamAngle);
    DumpPrintf(stream, 0, "\tVERTEX COLOR NAME  [%s]\n", m->VertexColorMap);
    DumpPrintf(stream, 0, "\tVERTEX COLOR TYPE  [%s]\n", IdToText(m->VertexColorMapType, type));
    DumpPrintf(stream, 0, "\tSURFACE COMMENT    [%s]\n", m->Comment);
    DumpPrintf(stream, 0, "\tUVIEW FILE NAME    [%s]\n", m->UviewFileName);
    DumpPrintf(stream, 0, "\tREFERENCE SURFACE  [%x]\n", m->ReferenceSurface);
    for (const LwTextureLayer& t : m->Layers) {
        DumpPrintf(stream, 0, "\n\tTEXTURE MAP CHANNEL TYPE [%s]\n", ChannelName(t.Channel));
        DumpPrintf(stream, 0, "\tTEXTURE IMAGE LAYER      [%d]\n", t.Index);
        DumpPrintf(stream, 0, "\tPROJECTION TYPE          [%d]\n", t.Projection);
        DumpPrintf(stream, 0, "\tTEXTURE AXIS             [%d]\n", t.Axis);
        DumpPrintf(stream, 0, "\tTEXTURE OPACITY          [%f]\n", t.Opacity);
        DumpPrintf(stream, 0, "\tTEXTURE BLEND MODE       [%d]\n", t.OpacityType);
        DumpPrintf(stream, 0, "\tTEXTURE NEGATIVE         [%d]\n", t.Negative);
        DumpPrintf(stream, 0, "\tTEXTURE SIZE             [%g,%g,%g]\n", t.Size[0], t.Size[1], t.Size[2]);
        DumpPrintf(stream, 0, "\tTEXTURE CENTER           [%g,%g,%g]\n", t.Center[0], t.Center[1], t.Center[2]);
        DumpPrintf(stream, 0, "\tTEXTURE ROTATION         [%g,%g,%g]\n", t.Rotation[0], t.Rotation[1], t.Rotation[2]);
        DumpPrintf(stream, 0, "\tTEXTURE AMPLITUDE        [%g]\n", t.Amplitude);
        DumpPrintf(stream, 0, "\tIMAGE WRAP WIDTH AMOUNT  [%g]\n", t.WrapWidth);
        DumpPrintf(stream, 0, "\tIMAGE WRAP HEIGHT AMOUNT [%g]\n", t.WrapHeight);
        DumpPrintf(stream, 0, "\tWRAP OPTIONS             [%d,%d]\n", t.WrapModeWidth, t.WrapModeHeight);
        DumpPrintf(stream, 0, "\tTEXTURE IMAGE NAME       [%s]\n", t.ImageName);
        DumpPrintf(stream, 0, "\tTEXTURE ALPHA IMAGE      [%s]\n", t.AlphaName);
        DumpPrintf(stream, 0, "\tTEXTURE REFERENCE OBJECT [%s]\n", t.ReferenceName);
        DumpPrintf(stream, 0, "\tTXUV VMAP NAME           [%s]\n", t.UvMapName);
    }
    DumpPrintf(stream, 0, "\n");
}

void DumpSurfaces(LwObject* o, FILE* stream) {
    DumpPrintf(stream, 0, "NSURF      [%d]\n", o->NumSurfaces);
    for (const char* name = o->Op.GetNextSurfaceName(o, nullptr); name; name = o->Op.GetNextSurfaceName(o, name)) {
        LwSurfaceEntry* s = o->Op.FindSurface(o, name);
        DumpPrintf(stream, 0, "SURF [%s] SIZE <%d> INDEX <%d>\n", s->Name, s->DataSize, s->Id);
        if (o->FileType == LW_FILE_LWOB) {
            LwobSurface surface;
            ParseLwobSurface(o, (uint32_t)s->DataSize, s->Data, &surface);
            DumpLwobSurface(o, &surface, stream);
        } else {
            Lwo2Surface surface;
            ParseLwo2Surface(o, (uint32_t)s->DataSize, s->Data, &surface);
            DumpLwo2Surface(o, &surface, stream);
        }
        if (s->Material) DumpMaterial(s->Material, stream);
        EndSection(stream);
    }
}

void DumpTags(LwObject* o, FILE* stream) {
    if (o->NumTags == 0) return;
    DumpPrintf(stream, 0, "NTAGS      [%d]\n", o->NumTags);
    char type[5];
    for (LwTag* tag = o->Tags; tag; tag = tag->Next)
        DumpPrintf(stream, 0, "TAGS  NAME[%s] FLAGS[%d] TYPE[%s]\n", tag->Name, (int)tag->Flags,
                   IdToText(tag->Type, type));
    EndSection(stream);
}

void DumpClips(LwObject* o, FILE* stream) {
    if (o->NumClips == 0) return;
    DumpPrintf(stream, 0, "NCLIP      [%d]\n", o->NumClips);
    for (LwClipEntry* clip = o->Clips; clip; clip = clip->Next) {
        DumpPrintf(stream, 0, "CLIP INDEX[%d] SIZE[%d] NAME <%s>\n", clip->Id, clip->DataSize, clip->Name);
        Lwo2Clip parsed;
        ParseClip(o, (uint32_t)clip->DataSize, clip->Data, &parsed);
        DumpClip(o, &parsed, stream);
    }
    EndSection(stream);
}

void DumpEnvelopes(LwObject* o, FILE* stream) {
    if (o->NumEnvelopes == 0) return;
    DumpPrintf(stream, 0, "NENVL      [%d]\n", o->NumEnvelopes);
    for (LwEnvelopeEntry* envelope = o->Envelopes; envelope; envelope = envelope->Next) {
        DumpPrintf(stream, 0, "ENVELOPE INDEX[%d] SIZE[%d]\n", envelope->Index, envelope->DataSize);
        Lwo2Envelope parsed;
        ParseEnvelope(o, (uint32_t)envelope->DataSize, envelope->Data, &parsed);
        DumpEnvelope(o, &parsed, stream);
    }
    EndSection(stream);
}

}  // namespace

void DumpLwObject(LwObject* object, FILE* stream) {
    if (!object || !stream) return;
    const int32_t type = object->FileType >= 0 && object->FileType <= 3 ? object->FileType : 0;
    DumpPrintf(stream, 0, "\n++++++++++++++++++ LWO2 FILE DUMP ++++++++++++++++++++\n");
    DumpPrintf(stream, 0, "NAME       [%s]\n", object->FileName);
    DumpPrintf(stream, 0, "TYPE       [%s]\n", kFileTypes[type]);
    DumpPrintf(stream, 0, "NLAYR      [%d]\n", object->NumLayers);
    for (LwLayer* layer = object->Op.GetNextLayer(object, nullptr); layer;
         layer = object->Op.GetNextLayer(object, layer)) {
        DumpLayerInfo(object, layer, stream);
        DumpPoints(layer, stream);
        DumpNormals(layer, stream);
        DumpEdges(layer, stream);
        DumpMeshes(object, layer, stream);
        DumpTexCoords(layer, stream);
        DumpColors(layer, stream);
        DumpVmaps(layer, stream);
        DumpVmads(layer, stream);
        DumpPolygonLists(object, layer, stream);
    }
    DumpSurfaces(object, stream);
    DumpTags(object, stream);
    DumpClips(object, stream);
    DumpEnvelopes(object, stream);
}
